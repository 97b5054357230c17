#pragma once
// Reader plug-ins: shared objects in the program's "plugins" folder that export
// "GetFileFormat" and "EnableControls". The application loads them once at start-up
// and publishes its table here, so that the plug-in reader finds the plug-in of a
// format index without depending on the application.
#include <memory>
#include <string>
#include <vector>

#include "platform/TDynamicLibrary.h"

// One loaded reader plug-in. Record k of a table is format index 23 + k.
struct TPluginRecord {
    // The loaded library. Shared so that a copy of the table never points at freed
    // memory; the application still unloads every library in order at exit, after
    // which Symbol() of a stale copy returns null.
    std::shared_ptr<vx::TDynamicLibrary> hModule;
    std::string strFormat;   // the name that "GetFileFormat" returned
    bool bControls = false;  // "EnableControls" returned a non-zero low byte
};

namespace vx {

// Format index of the first plug-in; 0 to 22 are the built-in formats.
constexpr int kFirstPluginFormat = 23;

// Loads every shared object ("*.so") of `folder` in name order and keeps, in that
// order, each one that exports both "GetFileFormat" and "EnableControls"; any other
// is unloaded at once. Sub-folders and libraries that do not load are skipped, and
// a missing folder gives an empty table. A folder that cannot be listed gives an empty
// table too, and `failure` says which and why (empty otherwise). The current folder is not
// changed.
std::vector<TPluginRecord> LoadPluginFolder(const std::string& folder, std::string& failure);

// Unloads the library of every record, in table order, and empties the table.
void FreePlugins(std::vector<TPluginRecord>& plugins);

// The table that readers see: published by the application after its scan.
void PublishPluginTable(const std::vector<TPluginRecord>& table);
std::vector<TPluginRecord> PluginTable();

}  // namespace vx
