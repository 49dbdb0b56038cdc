#include "keys/KeySender.h"
#include "keys/KeyErrorTexts.h"

namespace keys {

namespace {
KeySender* installedSender = nullptr;
}

KeySender& keySender()
{
    if (!installedSender)
        throw KeyError(errors::sendingUnavailable());
    return *installedSender;
}

void installKeySender(KeySender* sender)
{
    installedSender = sender;
}

} // namespace keys
