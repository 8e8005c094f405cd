// Which of the update dialog's commands may act, by launch mode and state.
//
// A command reaches the dialog as WM_COMMAND, which any program on the desktop
// can post, whatever the buttons show. So each command handler asks here first,
// and a command acts only where its button can be seen and pressed: Upgrade
// while nothing runs, Finish only once the attempt has succeeded, the decline
// buttons of the launch mode until then, and none in silent mode, whose window
// is never shown. The close button stands for whichever applies.
#pragma once

bool CommandAllowed(int control, int mode, int state);
