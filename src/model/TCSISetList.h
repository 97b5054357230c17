#pragma once
// The project's CSI sets in insertion order (the order of the explorer and of the
// project file). The list owns its sets; the project records which one is the work set.
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "model/TKeptRecord.h"

namespace vx {
class TFile;
class TFileTransaction;
}

class TCSISet;
class TProject;

class TCSISetList {
public:
    using iterator = std::list<TCSISet*>::iterator;
    using const_iterator = std::list<TCSISet*>::const_iterator;

    explicit TCSISetList(TProject* pProject);
    // Deletes every set.
    virtual ~TCSISetList();
    TCSISetList(const TCSISetList&) = delete;
    TCSISetList& operator=(const TCSISetList&) = delete;

    // Appends the set (the list owns it from now on) and returns the new count.
    int32_t Add(TCSISet* pSet);
    // Unlinks the set at the position; the set is not deleted. Returns the next position.
    iterator Erase(iterator pos);
    iterator Begin() { return m_sets.begin(); }
    iterator End() { return m_sets.end(); }
    const_iterator Begin() const { return m_sets.begin(); }
    const_iterator End() const { return m_sets.end(); }
    iterator begin() { return m_sets.begin(); }
    iterator end() { return m_sets.end(); }
    const_iterator begin() const { return m_sets.begin(); }
    const_iterator end() const { return m_sets.end(); }
    // The set at pos; pos moves on to the next one.
    TCSISet* Next(iterator& pos) { return *pos++; }
    int32_t GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_sets.empty(); }
    // The position of the set, or End().
    iterator Find(const TCSISet* pSet);
    // The first set of that name (exact), or null.
    TCSISet* FindByName(const std::string& name) const;

    // The count, then every set's record in list order. False when a write failed.
    bool Write(vx::TFile& file) const;
    // Reads the count and that many records into new sets of the owning project; a set
    // whose data-set file is missing is kept, and a whole record that cannot be used is
    // kept aside (KeptRecords); one message names all such sets and why. False, with no
    // set added, when the count or a record cannot be read: the file is damaged.
    bool Read(vx::TFile& file);
    // The records kept aside, written back unchanged at their places by Write.
    const std::vector<TKeptRecord>& KeptRecords() const { return m_kept; }
    void SetKeptRecords(std::vector<TKeptRecord> kept) { m_kept = std::move(kept); }
    // The kept record of a set of that name, or null.
    TKeptRecord* FindKept(const std::string& name);
    // Reads over the count and the records of a file of that version without building
    // anything; true when all were complete (also for a count below 1).
    static bool SkipFromProject(vx::TFile& file, int32_t version);

    void Anonymize();
    // Copies the data-set and map files of every set but `except`, and the files of the
    // kept records that are there, in the transaction into the folder and points every
    // set there; a set or map held in memory whose file is gone is written from memory.
    // True when every copy succeeded; the sets are pointed there in any case.
    bool CopyDataFiles(const std::string& folder, vx::TFileTransaction& transaction, const TCSISet* except);
    // Puts the set into the list before pos (an iterator of this list).
    void Insert(iterator pos, TCSISet* pSet);

private:
    int32_t m_nCount = 0;
    TProject* m_pProject;
    std::list<TCSISet*> m_sets;
    std::vector<TKeptRecord> m_kept;
};
