#pragma once
// Registers itself as the process's main-thread idle pump for socket waits.
// The main thread never waits on a socket here, so it has no effect beyond
// being the one registered instance.
#include "base/Component.h"

namespace qr {

class TIdAntiFreeze : public TComponent {
public:
    explicit TIdAntiFreeze(TComponent* owner) : TComponent(owner) {
        if (!FInstance) FInstance = this;
    }
    ~TIdAntiFreeze() override {
        if (FInstance == this) FInstance = nullptr;
    }
    const char* ClassName() const override { return "TIdAntiFreeze"; }
    static TIdAntiFreeze* Instance() { return FInstance; }

private:
    static inline TIdAntiFreeze* FInstance = nullptr;
};

}  // namespace qr
