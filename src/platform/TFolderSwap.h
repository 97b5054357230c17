#pragma once
// A folder replaced whole by another: the new content is built in a hidden folder beside
// it and put in its place in one step, an earlier folder there going with that step.
// Where the file system cannot exchange two folders, the earlier folder first steps aside
// to a second hidden folder; a process killed between the two renames leaves it there,
// and the next swap of the folder puts it back. Only a swap makes the two hidden folders:
// ".<name>.batch" for the build and ".<name>.batch-old" for the earlier folder aside.
#include <string>
#include <vector>

namespace vx {

class TFolderSwap {
public:
    explicit TFolderSwap(const std::string& folder);

    const std::string& Folder() const { return m_folder; }
    const std::string& BuildFolder() const { return m_build; }
    const std::string& RetiredFolder() const { return m_retired; }

    enum class TMend {
        Done,  // nothing of a killed swap is left beside the folder
        Busy,  // another running program holds one of the hidden folders: it is swapping
        Failed // what was left could not be mended (errno says why)
    };
    // Mends what a swap killed on its way left, before a new content is built: an earlier
    // folder aside while nothing is at the folder's path is the folder's content, and is put
    // back; a build folder, and an earlier folder aside once the folder is in place, are
    // removed. Neither is ever removed while another program holds it.
    TMend MendLeftovers();

    // Links into the build folder every entry of the folder that it lacks, but those named
    // in `own`, so that what was kept beside the earlier content stays whichever of the two
    // a kill leaves. False when one cannot be carried: errno says why, `failed` names it.
    bool KeepEntriesBeside(const std::vector<std::string>& own, std::string& failed);

    // Puts the build folder in the folder's place; an earlier folder there is removed.
    // False, with the errno of the call that failed, when it could not: the folder is then
    // as it was, or aside for the next MendLeftovers to put back.
    bool PutInPlace();

private:
    std::string m_folder, m_build, m_retired;
};

}  // namespace vx
