// SPDX-License-Identifier: MIT
#include "keys/layout/SeatKeyboard.h"
#include "keys/KeySender.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

namespace keys::layout {

namespace {

void onKeymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size)
{
    static_cast<SeatKeyboard*>(data)->takeKeymap(format, fd, size);
}
void onEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void onLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void onKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void onModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                 std::uint32_t)
{
}
void onRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

const wl_keyboard_listener keyboardListener = {
    onKeymap, onEnter, onLeave, onKey, onModifiers, onRepeatInfo,
};

// The keymap text from the shared memory the compositor passed, without
// its closing NUL; empty when it cannot be mapped.
std::string readKeymap(int fd, std::uint32_t size)
{
    void* data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED)
        return {};
    std::string text(static_cast<const char*>(data), size);
    munmap(data, size);
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

} // namespace

SeatKeyboard::SeatKeyboard(wl_seat* seat) : keyboard_(wl_seat_get_keyboard(seat))
{
    wl_keyboard_add_listener(keyboard_, &keyboardListener, this);
}

SeatKeyboard::~SeatKeyboard()
{
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(keyboard_))
        >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
        wl_keyboard_release(keyboard_);
    else
        wl_keyboard_destroy(keyboard_);
}

void SeatKeyboard::takeKeymap(std::uint32_t format, int fd, std::uint32_t size)
{
    const std::string text =
        format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 ? readKeymap(fd, size) : std::string();
    close(fd);
    try {
        layout_ = std::make_shared<const SeatLayout>(text);
        error_.clear();
    } catch (const KeyError& e) {
        layout_.reset();
        error_ = e.description();
    }
}

std::shared_ptr<const SeatLayout> SeatKeyboard::layout() const
{
    if (!error_.isEmpty())
        throw KeyError(error_);
    return layout_;
}

} // namespace keys::layout
