#pragma once
// The open/save file dialogs, as a service: the GUI installs a handler that shows
// the dialog, tests install a scripted one. Without a handler nothing is chosen.
#include <functional>
#include <string>
#include <vector>

namespace vx {

struct TFileRequest {
    bool save = false;
    bool multiple = false;       // open several files at once
    bool overwritePrompt = true; // save dialogs only
    std::string title;
    // Filter list "Name (*.ext)|*.ext|All Files (*.*)|*.*" in the form of the
    // program's dialogs; `filterIndex` is the preselected entry (0-based).
    std::string filter;
    int filterIndex = 0;
    std::string folder;          // first folder shown
    std::string fileName;        // proposed name
    // What the command writes for a chosen save path: the path with the extension it adds,
    // by its own rule. The question before a file is replaced names that file, and
    // ChooseFiles returns it. Unset: the path as chosen.
    std::function<std::string(const std::string&)> finalPath;
    // When set, the handler stores the filter the user left chosen (0-based, as
    // filterIndex) for callers whose output depends on it.
    int* chosenFilter = nullptr;
};

using FileChooserHandler = std::function<std::vector<std::string>(const TFileRequest&)>;

FileChooserHandler SetFileChooserHandler(FileChooserHandler handler);

// A save dialog starting in the current folder, a replaced file confirmed first.
TFileRequest SaveFileRequest(const std::string& title, const std::string& filter, int filterIndex);
// The save dialog of a text file: filters "All Files (*.*)" and "Text Files(*.txt)" with
// `textPattern`, the second chosen, starting in the current folder, ".txt" added to a name
// that holds it in neither case, and a replaced file confirmed first.
TFileRequest TextFileSaveRequest(const std::string& title, const std::string& textPattern);

// The chosen paths (for a save, the paths the command writes); empty when the user cancelled.
std::vector<std::string> ChooseFiles(const TFileRequest& request);
// One path or "" when cancelled.
std::string ChooseFile(const TFileRequest& request);

}  // namespace vx
