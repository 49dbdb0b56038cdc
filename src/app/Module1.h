// SPDX-License-Identifier: MIT
#pragma once

// The start-up routine: reads the startup mode from the settings file and
// shows one window, modeless: 0 the About window, 1 the quick window, any
// other value the script window.
void Main();
