#include "e2e/ClientBursts.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace e2e {

std::string Numbered(const std::string& tag, int client, int seq, size_t size) {
    std::string m = tag + " " + std::to_string(client) + "/" + std::to_string(seq) + " ";
    m.resize(std::max(size, m.size()), 'x');
    return m;
}

std::string SendFromClients(const std::string& tag, int clients, int each, size_t size, bool quit) {
    std::vector<std::string> faults(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            std::string all;
            for (int s = 0; s < each; ++s) all += Numbered(tag, c, s, size) + '\f';
            if (quit) all += "quit\f";
            try {
                TClient client(c % 2 ? "::1" : "127.0.0.1", kPort);
                client.Send(all);
                if (quit && !client.WaitClosedByPeer(120s))
                    faults[size_t(c)] = "the connection stays open after quit";
            } catch (const std::exception& e) {
                faults[size_t(c)] = e.what();
            }
        });
    for (std::thread& t : threads) t.join();
    for (const std::string& f : faults)
        if (!f.empty()) return f;
    return {};
}

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

}  // namespace e2e
