#include "keys/KeySender.h"

namespace keys {

namespace {
KeySender* installedSender = nullptr;
}

KeySender& keySender()
{
    if (!installedSender)
        throw KeyError(QStringLiteral("Keystroke sending is not available on this desktop."));
    return *installedSender;
}

void installKeySender(KeySender* sender)
{
    installedSender = sender;
}

} // namespace keys
