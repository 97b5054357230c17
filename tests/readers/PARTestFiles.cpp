#include "readers/PARTestFiles.h"

#include <sstream>

namespace vx::test {

namespace {

std::string F(float v)
{
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s.setf(std::ios::fixed);
    s.precision(3);
    s << v;
    return s.str();
}

}  // namespace

std::string BuildPARImageLine(const TSynthPAR& par, const TSynthPARImage& image)
{
    std::vector<std::string> c;
    if (par.version == 3) {
        c.assign(static_cast<size_t>(par.v3Columns), "0");
        c[0] = std::string("1");                    // slice number
        c[6] = image.index;            // index in REC file
        c[15] = F(image.offAp);
        c[16] = F(image.offFh);
        c[17] = F(image.offRl);
        c[19] = std::to_string(image.sliceOrientation);
        c[22] = F(image.spacingX);
        c[23] = F(image.spacingY);
        c[24] = F(image.te);
    } else {
        c.assign(static_cast<size_t>(par.v4Columns), "0");
        c[0] = std::string("1");
        c[6] = image.index;
        c[7] = std::to_string(image.bits);
        c[8] = std::string("100");                  // scan percentage
        c[9] = std::to_string(image.width);
        c[10] = std::to_string(image.height);
        c[12] = std::string("1.29035");             // rescale slope: never applied to the pixels
        c[13] = std::string("4.28404e-003");
        c[19] = F(image.offAp);
        c[20] = F(image.offFh);
        c[21] = F(image.offRl);
        c[22] = F(image.thickness);
        c[23] = std::string("1.000");               // slice gap
        c[25] = std::to_string(image.sliceOrientation);
        c[28] = F(image.spacingX);
        c[29] = F(image.spacingY);
        c[30] = F(image.te);
    }
    std::string line = " ";
    for (const std::string& column : c)
        line += " " + column + " ";
    return line;
}

std::string BuildPARText(const TSynthPAR& par)
{
    const std::string& e = par.lineEnd;
    std::string t;
    t += "# === DATA DESCRIPTION FILE ======================================================" + e;
    t += "#" + e;
    t += "# CAUTION - Investigational device." + e;
    t += "# Limited by Federal Law to investigational use." + e;
    t += "#" + e;
    t += "# Dataset name: E:\\Export\\synthetic" + e;
    t += "#" + e;
    t += "# CLINICAL TRYOUT             Research image export tool     " + par.versionWord + e;
    t += "#" + e;
    t += "# === GENERAL INFORMATION ========================================================" + e;
    t += "#" + e;
    t += ".    Patient name                       :   " + par.patientName + e;
    t += ".    Examination name                   :   " + par.examName + e;
    t += ".    Protocol name                      :   " + par.protocolName + e;
    t += ".    Examination date/time              :   " + par.examDateTime + e;
    if (par.version == 3) {
        t += ".    Acquisition nr                     :   3" + e;
        t += ".    Max. number of slices/locations    :   " + std::to_string(par.images.size()) + e;
        if (!par.pixelSize.empty())
            t += ".    Image pixel size [8 or 16 bits]    :   " + par.pixelSize + e;
        if (!par.reconResolution.empty())
            t += ".    Recon resolution (x, y)            :   " + par.reconResolution + e;
        t += ".    Repetition time [msec]             :   " + par.repetitionTime + e;
        if (par.withFOVLine)
            t += ".    FOV (ap,fh,rl) [mm]                :   " + par.fov + e;
        if (!par.sliceThickness.empty())
            t += ".    Slice thickness [mm]               :   " + par.sliceThickness + e;
        t += ".    Slice gap [mm]                     :   1.000" + e;
    } else {
        t += ".    Series Type                        :   Image   MRSERIES" + e;
        t += ".    Max. number of slices/locations    :   " + std::to_string(par.images.size()) + e;
        t += ".    Patient position                   :   Head First Supine" + e;
        t += ".    Scan resolution  (x, y)            :   64  39" + e;
        t += ".    Repetition time [ms]               :   " + par.repetitionTime + "  " + e;
        t += ".    FOV (ap,fh,rl) [mm]                :   " + par.fov + e;
    }
    t += ".    Angulation midslice(ap,fh,rl)[degr]:   " + par.angulation + e;
    t += ".    Off Centre midslice(ap,fh,rl) [mm] :   " + par.offCentre + e;
    t += ".    Flow compensation <0=no 1=yes> ?   :   0" + e;
    t += "#" + e;
    t += "# === IMAGE INFORMATION ==========================================================" + e;
    t += "#  sl ec  dyn ph ty    idx pix scan% rec size" + e;
    t += "" + e;
    for (const TSynthPARImage& image : par.images)
        t += BuildPARImageLine(par, image) + e;
    t += "" + e;
    t += "# === END OF DATA DESCRIPTION FILE ===============================================" + e;
    return t;
}

std::string PackREC8(const std::vector<int>& values)
{
    std::string bytes;
    for (int v : values)
        bytes.push_back(static_cast<char>(static_cast<unsigned char>(v & 0xff)));
    return bytes;
}

}  // namespace vx::test
