#include "CommandRules.h"

#include "engine/Attempt.h"
#include "engine/LaunchValues.h"
#include "res/resource.h"

bool CommandAllowed(int control, int mode, int state) {
    if (mode == ModeSilent)
        return false;
    switch (control) {
    case IDC_UPGRADE:
        return state == StateOffering || state == StateFailed;
    case IDC_FINISH:
        return state == StateSucceeded;
    case IDC_DONT_UPGRADE:
        return mode != ModeMandatory && state != StateSucceeded;
    case IDC_EXIT_SOFTWARE:
        return mode != ModeOptional && state != StateSucceeded;
    case IDC_CLOSE_BUTTON:
        return true;
    default:
        return false;
    }
}
