#pragma once
// The project's MR images in display order: by orientation, then by position along the
// slice axis. The collection numbers new images and writes and reads their records in the
// project file. The images themselves belong to the project, which deletes them.
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "model/TImageImportParams.h"
#include "model/TKeptRecord.h"

namespace vx {
class TFile;
class TFileTransaction;
}

class TMRImage;
class TProject;

class TImageSet {
public:
    using iterator = std::list<TMRImage*>::iterator;
    using const_iterator = std::list<TMRImage*>::const_iterator;

    explicit TImageSet(TProject* pProject);
    // Frees the list, not the images.
    virtual ~TImageSet();
    TImageSet(const TImageSet&) = delete;
    TImageSet& operator=(const TImageSet&) = delete;

    // Gives the image the next id (the largest id + 1, or 0) and puts it before the first
    // image of a higher orientation or of the same orientation at an equal or higher position.
    void Insert(TMRImage* pImage);
    // Appends at the end without numbering.
    void Append(TMRImage* pImage);
    // Inserts a new image whose pixels are in memory and writes its pixel file among the
    // project's new files, which the next project file written puts in place (until then
    // the pixels are read from where they are staged). False when the file cannot be
    // written (or the collection belongs to no project): reported with `failure` and why,
    // the image deleted, the collection as it was.
    bool AddNew(TMRImage* pImage, const std::string& failure);
    // From now on AddNew inserts the image and writes nothing: a collection that only tries
    // whether files can be read.
    void TryFilesOnly() { m_bTryOnly = true; }
    iterator Begin() { return m_images.begin(); }
    iterator End() { return m_images.end(); }
    const_iterator Begin() const { return m_images.begin(); }
    const_iterator End() const { return m_images.end(); }
    iterator begin() { return m_images.begin(); }
    iterator end() { return m_images.end(); }
    const_iterator begin() const { return m_images.begin(); }
    const_iterator end() const { return m_images.end(); }
    // Removes the element (the image is not deleted); returns the next position.
    iterator Erase(iterator pos);
    // The images in collection order, and the collection made of them again (images
    // taken out by Erase put back where they were).
    std::vector<TMRImage*> Images() const { return {m_images.begin(), m_images.end()}; }
    void SetImages(const std::vector<TMRImage*>& images);
    iterator Find(const TMRImage* pImage);
    bool Contains(const TMRImage* pImage) const;
    int32_t GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_images.empty(); }

    // Neighbours in list order; null at either end or for an image not in the collection.
    TMRImage* GetPrevious(const TMRImage* pImage) const;
    TMRImage* GetNext(const TMRImage* pImage) const;
    // Of the images of that orientation whose slice position p lies in [from, to), the one
    // nearest the middle in whole millimetres (first in list order on a tie); null when none.
    TMRImage* FindNearest(int orientation, float from, float to) const;

    // The count, then every image's record in list order. False when a write failed.
    bool Write(vx::TFile& file) const;
    // Reads the count and the records (by the project's file version). An image whose
    // pixel file is missing or cut short keeps its entry; a record that is complete but
    // cannot be used (invalid, pixel file in use) is kept aside (KeptRecords); one message
    // names them all and why. False, with no image added, when the count or a record
    // cannot be read: the file is damaged.
    bool Read(vx::TFile& file);
    // The records kept aside, written back unchanged at their places by Write.
    const std::vector<TKeptRecord>& KeptRecords() const { return m_kept; }
    void SetKeptRecords(std::vector<TKeptRecord> kept) { m_kept = std::move(kept); }
    // Reads over the count and the records of a file of that version; true when complete.
    static bool SkipRecords(vx::TFile& file, int32_t version);

    void Anonymize();
    // Places every image of complete geometry in the frame of the project's work set
    // (its own frame when there is none).
    void LocateAllInCSISet();
    // Widens the 8-bit pixel file of an image of an old project to 16 bits, written in the
    // transaction to replace the old file. An image whose pixel file is missing, not a file
    // or short keeps its entry and file as they are. False when the file could not be read
    // (said why) or written (said nothing).
    static bool ConvertPixelFileTo16Bit(const TMRImage& image, vx::TFileTransaction& transaction);
    // Copies every pixel file, and the files of the kept records that are there, in the
    // transaction into the folder and points the images there; pixels held in memory whose
    // file is gone are written from memory. True when every copy
    // succeeded; the images are pointed there in any case.
    bool CopyFilesToFolder(const std::string& folder, vx::TFileTransaction& transaction);
    // Reads an image file with the reader of the record's image type; false for a type
    // without a reader.
    bool AddImages(const std::string& path, TImageImportParams params, TProject* pProject);

    // --- derived images (TImageSetDerived.cpp) ---------------------------------------
    // Each new image is named after the first image of the list and inserted with AddNew:
    // its pixel file, named for that image's folder, goes in with the next project file.
    // A file that cannot be written takes every image the command made out again. The
    // list must hold images of one orientation and one size (the first decides);
    // otherwise, and when a new name is already an image's, nothing is made (reported)
    // and the result is false.
    //
    // Re-slices a stack of parallel images, one slice thickness apart, into the two
    // other orientations: by the first image's orientation 0, 1 or 2 one of the three
    // members below; false for any other orientation.
    bool Reconstruct3D(const std::vector<TMRImage*>& images);
    bool ReconstructFromSagittal(const std::vector<TMRImage*>& images);
    bool ReconstructFromCoronal(const std::vector<TMRImage*>& images);
    bool ReconstructFromAxial(const std::vector<TMRImage*>& images);
    // For each slice of the work set along the images' orientation, the sum of the
    // images whose slice position lies in that slice (sums saturate at the 16-bit
    // limits). Nothing without a work set.
    bool AverageImages(const std::vector<TMRImage*>& images);

private:
    // The reconstruction from a stack of the given orientation.
    bool ReconstructFrom(int orientation, const std::vector<TMRImage*>& images);
    // Takes images that AddNew added back out and deletes them with their staged pixel
    // files: a command that fails part way leaves nothing of what it made.
    void DropNewImages(const std::vector<TMRImage*>& added);
    // True when an image of the collection has that name or pixel file (reported).
    bool DerivedNameTaken(const std::string& name, const std::string& path) const;

    // True when the path is the project file or the pixel file of an image already here.
    bool PathInUse(const std::string& path) const;

    std::list<TMRImage*> m_images;
    std::vector<TKeptRecord> m_kept;
    int32_t m_nCount = 0;
    TProject* m_pProject;
    bool m_bTryOnly = false;  // see TryFilesOnly()
};
