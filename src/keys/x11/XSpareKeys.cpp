#include "keys/x11/XSpareKeys.h"

namespace keys::x11 {

SpareKeys::SpareKeys(QByteArray displayName, std::chrono::milliseconds quiet)
    : displayName_(std::move(displayName)), quiet_(quiet), watcher_([this] { watch(); })
{
}

SpareKeys::~SpareKeys()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    watcher_.join();
}

std::set<KeyCode> SpareKeys::boundKeycodes() const
{
    std::set<KeyCode> codes;
    for (const auto& entry : bindings_)
        codes.insert(entry.first);
    return codes;
}

bool SpareKeys::quietSince(Clock::time_point now) const
{
    for (const auto& entry : bindings_)
        if (now < entry.second.lastUse + quiet_)
            return false;
    return true;
}

void SpareKeys::watch()
{
    std::unique_lock<std::mutex> guard(mutex_);
    for (;;) {
        if (bindings_.empty()) {
            if (stopping_)
                return;
            wake_.wait(guard);
            continue;
        }
        Clock::time_point due = Clock::now();
        for (const auto& entry : bindings_)
            due = std::max(due, entry.second.lastUse + quiet_);
        // On the way out the quiet while is still kept: the target may not
        // have read the last keys yet.
        wake_.wait_until(guard, due);
        if (quietSince(Clock::now()))
            restoreAll();
    }
}

void SpareKeys::restoreAll()
{
    std::unique_ptr<XConnection> x = XConnection::open(displayName_.constData());
    if (x) {
        for (const auto& [code, binding] : bindings_) {
            int width = 0;
            KeySym* syms = XGetKeyboardMapping(x->dpy(), code, 1, &width);
            // Restore only what still is ours: a new layout may have been
            // loaded meanwhile.
            if (syms && width > 0 && syms[0] == binding.sym) {
                KeySym none = NoSymbol;
                XChangeKeyboardMapping(x->dpy(), code, 1, &none, 1);
            }
            if (syms)
                XFree(syms);
        }
        XSync(x->dpy(), False);
    }
    bindings_.clear();
}

} // namespace keys::x11
