// Resource identifiers of Updater.exe.
#pragma once
