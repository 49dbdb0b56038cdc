#pragma once

// The start-up routine: reads the startup mode from the settings file and
// shows one window, modeless.
void Main();
