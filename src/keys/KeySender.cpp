// SPDX-License-Identifier: MIT
#include "keys/KeySender.h"
#include "keys/KeyErrorTexts.h"
#include "keys/Notation.h"

namespace keys {

namespace {
KeySender* installedSender = nullptr;
}

void KeySender::checkKeys(const QString& keys) const
{
    parseKeyString(keys);
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
