#include "ModuleTable.h"

namespace {
constexpr int kUser = 0x400;  // WM_USER
}

const ModuleInfo kModuleTable[kModuleCount] = {
    {"Quorvel", ".dll", "Quorvel.dll", kUser + 104}, {"Tobrask", ".dll", "Tobrask.dll", kUser + 102},
    {"Elvarun", ".dll", "Elvarun.dll", kUser + 107}, {"Havrost", ".exe", "Havrost.exe", kUser + 103},
    {"Zentil", ".dll", "Zentil.dll", kUser + 105},   {"Corvane", ".dll", "Corvane.dll", kUser + 106},
    {"Brimsel", ".dll", "Brimsel.dll", kUser + 108}, {"Wextral", ".dll", "Wextral.dll", kUser + 109},
    {"Amblor", ".dll", "Amblor.dll", kUser + 110},   {"Nirvek", ".exe", "Tevrane.exe", kUser + 113},
    {"Pelmor", ".dll", "Pelmor.dll", kUser + 112},   {"Ulstane", ".dll", "Ulstane.dll", kUser + 114},
    {"Kavrel", ".dll", "Kavrel.dll", kUser + 115},   {"Ibrosk", ".dll", "Ibrosk.dll", kUser + 116},
    {"Yandrel", ".exe", "Yandrel.exe", kUser + 117},
};
