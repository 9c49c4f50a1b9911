#pragma once
// The main window's memo follows the forwarded messages without standing
// in their way.
#include <functional>

#include "base/Text.h"

namespace qr {

// The memo's text, replaced once per run of the main-thread queue with the
// last message forwarded in it, once every connection thread of the run
// is released: replacing an edit control's text is by far the costliest
// step of a forwarding, and of a run of messages only the last one can
// ever be seen. Main thread only.
class TMemoUpdate {
public:
    using TShow = std::function<void(const UString&)>;
    explicit TMemoUpdate(TShow show) : FShow(std::move(show)) {}

    // The text the memo is to show next; replaces one noted before.
    void Note(const UString& text);
    // Shows the text noted last, if any, and lets go of it: a large message
    // is kept only by the memo itself. An error of the memo leaves nothing
    // noted, so the next message is shown as usual.
    void Show();

private:
    TShow FShow;
    UString FText;
    bool FNoted = false;
};

}  // namespace qr
