#pragma once
// Where the program lives. Result.txt, DebugLog.txt, Log.txt, IC description
// files and VidPidList.ini are kept in the program folder: the folder of the
// running executable, as on a factory station that runs the tool from its own
// folder.
#include <string>

namespace platform {

inline constexpr char kPathSeparator = '/';

// The running executable's own path.
std::string ProgramPath();
// The program folder, without the trailing separator.
std::string ProgramFolder();
// The program folder with the trailing separator.
std::string ProgramFolderWithSeparator();
std::string CurrentDirectory();
// A folder for the cross-process lock files of the current user.
std::string LockFolder();

}  // namespace platform
