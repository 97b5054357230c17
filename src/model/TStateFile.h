#pragma once
// Where an undo state lives, reached through its folder's descriptor.
#include <memory>
#include <optional>
#include <string>

#include "platform/Files.h"
#include "platform/TFolder.h"

// An undo state's file, or with no name the folder where states are made: a folder reached
// through one descriptor, which the states made in it share and which follows it wherever
// it is renamed, and the identity of the project folder whose work folder it is (none for
// the system's temporary folder, and for a folder no hold of this run holds).
struct TStateFile {
    std::shared_ptr<const vx::TFolder> folder;
    std::optional<vx::TFileIdentity> project;
    std::string name;

    explicit operator bool() const { return folder && folder->IsOpen(); }
    // The file's path when its folder was opened, for messages.
    std::string Path() const { return folder ? folder->PathOf(name) : name; }
    // The same folder (and name), told by identity.
    bool operator==(const TStateFile& other) const
    {
        return folder && other.folder && folder->Identity() == other.folder->Identity() && name == other.name;
    }
};
