// Bringing Morvane32 up: settings, application, splash, engine buffers and
// the permanent windows where the user left them. The program's entry point
// calls it; tests call it to watch a start from inside.
#pragma once

// Everything before the message loop.
void StartUp();

// The application title.
extern const char* const kProgramTitle;
