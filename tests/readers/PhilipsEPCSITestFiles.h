#pragma once
// Builds echo-planar CSI raw exports (LIST, DATA and PAR files) from a physical model of
// the acquisition: one point source at a grid position, one spectral line. Every readout
// vector samples its kx line at the times the scanner takes them: even time indices
// read kx backwards, odd ones forwards and half a spectral dwell later, the samples one
// readout dwell apart. The DATA file holds vectors of odd kz with the opposite sign.
#include <memory>
#include <string>

#include "model/TCSISet.h"
#include "readers/TPhilipsEPCSIReader.h"

namespace vx::test {

// A reader with a set of its own and the axes in set order, for the parsers alone.
class TEPCSIProbe : public TPhilipsEPCSIReader {
public:
    TEPCSIProbe() : TPhilipsEPCSIReader(&kBlock)
    {
        m_pCSISet = std::make_unique<TCSISet>();
        m_params.m_nAxisOrder[1] = 1, m_params.m_nAxisOrder[2] = 2;
    }
    TCSISet& Set() { return *m_pCSISet; }

private:
    static inline const TCSIReadParams kBlock{};
};

struct TEPCSIScan {
    int sliceAxis = 2;                            // 0 sagittal, 1 coronal, 2 transverse
    std::string prepDirection = "Anterior-Posterior";
    int axes[3] = {0, 1, 2};                      // set axes of kx, ky, kz
    int n[3] = {8, 6, 3};                         // sizes along kx, ky, kz
    int line[3] = {2, 1, 0};                      // source position along kx, ky, kz
    int echoes = 32;
    int cardiacPhases = 1;
    int averages = 1;                             // repeats of every vector in the file
    int statedAverages = -1;                      // LIST value; -1 states `averages`
    double bandwidth = 1000.0;                    // Hz, as typed in the dialog
    double offsetHz = 125.0;                      // the line's frequency
    float fov[3] = {200.0f, 150.0f, 30.0f};       // along kx, ky, kz, mm
    float kxOversample = 1.0f;
    float offCentre[3] = {0.0f, 0.0f, 0.0f};      // LR, AP, FH, mm
    float angulation[3] = {0.0f, 0.0f, 0.0f};     // LR, AP, FH, degrees
    int dataOffset = 64;                          // noise vectors before the first standard one
};

// Writes base.LIST, base.DATA and base.PAR into the folder; returns the LIST path.
std::string WriteEPCSIScan(const std::string& folder, const TEPCSIScan& scan, const std::string& base = "scan");

// The LIST text, the DATA bytes and the PAR text of the scan.
std::string EPCSIListText(const TEPCSIScan& scan);
std::string EPCSIDataBytes(const TEPCSIScan& scan);
std::string EPCSIParText(const TEPCSIScan& scan);

// Seconds between two kx samples as the scanner sets them: half the spectral dwell less
// two gradient ramps of at least 0.12 ms, spread over the kx samples.
double EPCSIReadoutDwell(double bandwidth, int nx, double fovX);

}  // namespace vx::test
