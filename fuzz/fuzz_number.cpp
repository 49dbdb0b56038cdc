// SPDX-License-Identifier: MIT
// Feeds arbitrary text to the leading-number conversion of the startup value.
// It must never crash or hang, and the startup mode must agree with the
// rounding: a value inside the 16-bit range is that value, any other is 2.
#include "settings/LeadingNumber.h"
#include "settings/Settings.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data),
                                             static_cast<qsizetype>(size));
    const double number = app::leadingNumber(text);
    const auto rounded = app::roundToInt16(number);
    const qint16 mode = app::startupModeOf(text);
    if (rounded ? mode != *rounded : mode != 2) {
        std::fprintf(stderr, "startup mode %d disagrees with the rounding of %g\n", mode, number);
        std::abort();
    }
    if (rounded && std::fabs(number - *rounded) > 0.5) {
        std::fprintf(stderr, "%g rounded to %d\n", number, *rounded);
        std::abort();
    }
    return 0;
}
