// SPDX-License-Identifier: MIT
#pragma once
// How a title names a window, the same on every desktop.
#include <QString>

#include <optional>
#include <vector>

namespace keys {

// The window a title picks among windows listed from the least to the most
// preferred (each backend knows its order: stacking, last activation): an
// exact title wins; otherwise a title that begins with the text, ignoring
// case. Among several, the most preferred. Nothing for an empty title.
// titleOf maps a listed window to its title.
template <class Window, class TitleOf>
std::optional<std::size_t> pickByTitle(const std::vector<Window>& leastToMostPreferred,
                                       const QString& title, TitleOf titleOf)
{
    if (title.isEmpty())
        return std::nullopt;
    const std::size_t count = leastToMostPreferred.size();
    for (std::size_t i = count; i-- > 0;)
        if (titleOf(leastToMostPreferred[i]) == title)
            return i;
    for (std::size_t i = count; i-- > 0;)
        if (titleOf(leastToMostPreferred[i]).startsWith(title, Qt::CaseInsensitive))
            return i;
    return std::nullopt;
}

} // namespace keys
