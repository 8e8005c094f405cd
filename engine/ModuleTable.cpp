#include "ModuleTable.h"

// "Nirvek" is the host executable, installed under the host's own name.
const ModuleRow kModuleTable[kModuleCount] = {
    {"Quorvel", ".dll", "Quorvel.dll", "Quorvel.dll", kUserMessageBase + 104},
    {"Tobrask", ".dll", "Tobrask.dll", "Tobrask.dll", kUserMessageBase + 102},
    {"Elvarun", ".dll", "Elvarun.dll", "Elvarun.dll", kUserMessageBase + 107},
    {"Havrost", ".exe", "Havrost.exe", "Havrost.exe", kUserMessageBase + 103},
    {"Zentil", ".dll", "Zentil.dll", "Zentil.dll", kUserMessageBase + 105},
    {"Corvane", ".dll", "Corvane.dll", "Corvane.dll", kUserMessageBase + 106},
    {"Brimsel", ".dll", "Brimsel.dll", "Brimsel.dll", kUserMessageBase + 108},
    {"Wextral", ".dll", "Wextral.dll", "Wextral.dll", kUserMessageBase + 109},
    {"Amblor", ".dll", "Amblor.dll", "Amblor.dll", kUserMessageBase + 110},
    {"Nirvek", ".exe", "Tevrane.exe", "Nirvek.exe", kUserMessageBase + 113},
    {"Pelmor", ".dll", "Pelmor.dll", "Pelmor.dll", kUserMessageBase + 112},
    {"Ulstane", ".dll", "Ulstane.dll", "Ulstane.dll", kUserMessageBase + 114},
    {"Kavrel", ".dll", "Kavrel.dll", "Kavrel.dll", kUserMessageBase + 115},
    {"Ibrosk", ".dll", "Ibrosk.dll", "Ibrosk.dll", kUserMessageBase + 116},
    {"Yandrel", ".exe", "Yandrel.exe", "Yandrel.exe", kUserMessageBase + 117},
};

const ModuleRow* FindModule(std::string_view name) {
    for (const ModuleRow& row : kModuleTable)
        if (name == row.name)
            return &row;
    return nullptr;
}
