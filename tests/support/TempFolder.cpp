// SPDX-License-Identifier: MIT
#include "TempFolder.h"
#include "settings/ProgramFolder.h"

namespace testsupport {

TempProgramFolder::TempProgramFolder()
{
    app::installProgramFolder(std::make_shared<app::FixedFolder>(dir_.path()));
}

TempProgramFolder::~TempProgramFolder()
{
    app::installProgramFolder(nullptr);
}

} // namespace testsupport
