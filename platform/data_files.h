// Where the demo's data files ("fonts16.bin", "demosong.ogg") are found: in the working folder
// first, where the build and a handheld's launcher keep them, then in the data folder installed
// with the program, ../share/glasswhirligo from the folder the executable is in (bin/ or
// games/), so that a package unpacked anywhere finds its own files.
#pragma once
#include <string>
#include <vector>

// The data folder that belongs to the program at `executable` (an absolute path); empty when
// that path is empty.
std::string InstalledDataFolder(const std::string& executable);

// The folder the program at `executable` (an absolute path, / or \ between names) is in, empty
// when there is none: on Windows, where the files of its zip are.
std::string ProgramFolder(const std::string& executable);

// The folders searched, in order: the working folder as ".", then the installed data folder
// when the program can find its own path. On Windows: the program's own folder, then the working
// folder.
std::vector<std::string> DataFolders();

// The path of the first readable `name` in those folders (the bare name in the working
// folder); empty when there is none, with errno telling why the last place failed.
std::string FindDataFile(const char* name);

// Every folder searched, for a message: the working folder by its full path.
std::string DataFoldersText();
