#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/ReaderHooks.h"
#include "readers/CSIFormats.h"
#include "readers/ReaderFactory.h"
#include "readers/TGEPfileReader.h"
#include "readers/TGEPre11Reader.h"
#include "readers/TGESVReader.h"
#include "readers/TGESageReader.h"
#include "readers/TMPCSIReader.h"
#include "readers/TInternalFormatReader.h"
#include "readers/TPhilipsEPCSIReader.h"
#include "readers/TPhilipsSVReader.h"
#include "readers/TPhilipsTimeSeriesReader.h"
#include "readers/TPluginReader.h"
#include "readers/TRDAReader.h"
#include "readers/THeliconReader.h"
#include "readers/TRawReader.h"
#include "platform/PluginTable.h"

TEST(CSIFormats, DialogTextsAndFileTypesOfEveryIndex)
{
    // Index, text, file type offered: as the dialog shows them, character for character.
    const char* const expected[kBuiltInFormatCount][2] = {
        {"Philips Single Voxel", "Philips SPAR file(*.SPAR)"},
        {"Philips Time Series", "Philips SPAR file(*.SPAR)"},
        {"Philips 2D CSI Single Slice Pre R11", "Philips SPAR file(*.SPAR)"},
        {"Philips 2D CSI Single Slice (R11)", "Philips SPAR file(*.SPAR)"},
        {"Philips 2D CSI Single Slice (R2, Proton)", "Philips SPAR file(*.SPAR)"},
        {"Philips 2D CSI MultiSlice Pre R11", "Philips LIST File(*.LIST)"},
        {"Philips 2D CSI MultiSlice (R11)", "Philips SPAR file(*.SPAR)"},
        {"Philips 2D CSI MultiSlice (R2,Proton)", "Philips SPAR file(*.SPAR)"},
        {"Philips 3D CSI Pre R11", "Philips LIST File(*.LIST)"},
        {"Philips 3D CSI (R11)", "Philips SPAR file(*.SPAR)"},
        {"Philips 3D CSI (R2,Proton)", "Philips SPAR file(*.SPAR)"},
        {"Philips EPCSI R2 Raw File", "Philips LIST File(*.LIST)"},
        {"GE Pre 11.0 P file", ""},
        {"GE Single Voxel P file (EXCITE 11.0 or later)", ""},
        {"GE Single Voxel SAGE file (EXCITE 11.0 or later)", ""},
        {"GE 2D/3D P file (EXCITE 11.0 or later)", ""},
        {"GE MPCSI (NIH) P file", ""},
        {"Siemens Helicon (.mag files)", "Siemens MAG File(*.MAG)"},
        {"Siemens .RDA Files", "Siemens RDA File(*.RDA)"},
        {"Bruker 2D CSI (2dseq file)", ""},
        {"Bruker 3D CSI Raw (fid file)", ""},
        {"Unknown", ""},
        {"Vexara Internal Format", ""},
    };
    vx::PublishPluginTable({});
    EXPECT_EQ(FormatCount(), 23);
    for (int i = 0; i < kBuiltInFormatCount; ++i) {
        ASSERT_NE(BuiltInFormat(i), nullptr);
        EXPECT_EQ(FormatName(i), expected[i][0]) << i;
        EXPECT_STREQ(BuiltInFormat(i)->fileType, expected[i][1]) << i;
    }
    EXPECT_EQ(BuiltInFormat(23), nullptr);
    EXPECT_EQ(BuiltInFormat(-1), nullptr);
    EXPECT_EQ(FormatName(23), "") << "no plug-in loaded";
    EXPECT_EQ(FormatName(-5), "");
}

TEST(CSIFormats, FileFilterStartsOnTheFormatsOwnType)
{
    const TFormatFilter spar = FormatFileFilter(0);
    EXPECT_EQ(spar.filter, "All Files (*.*)|*.*|Philips SPAR file(*.SPAR)|*.SPAR");
    EXPECT_EQ(spar.filterIndex, 1);
    EXPECT_EQ(FormatFileFilter(5).filter, "All Files (*.*)|*.*|Philips LIST File(*.LIST)|*.LIST");
    EXPECT_EQ(FormatFileFilter(18).filter, "All Files (*.*)|*.*|Siemens RDA File(*.RDA)|*.RDA");
    const TFormatFilter none = FormatFileFilter(22);
    EXPECT_EQ(none.filter, "All Files (*.*)|*.*");
    EXPECT_EQ(none.filterIndex, 0);
    EXPECT_EQ(FormatFileFilter(30).filter, "All Files (*.*)|*.*");
}

TEST(ReaderFactory, IndexGivesItsReaderClass)
{
    TCSIReadParams params;
    auto make = [&](uint32_t index) { return std::unique_ptr<TCSIReader>(CreateReader(index, &params)); };
    EXPECT_NE(dynamic_cast<TPhilipsSVReader*>(make(0).get()), nullptr);
    auto series = make(1);
    EXPECT_NE(dynamic_cast<TPhilipsTimeSeriesReader*>(series.get()), nullptr);
    EXPECT_NE(dynamic_cast<TPhilipsEPCSIReader*>(make(11).get()), nullptr);
    EXPECT_NE(dynamic_cast<TGEPre11Reader*>(make(12).get()), nullptr);
    EXPECT_NE(dynamic_cast<TGESVReader*>(make(13).get()), nullptr);
    EXPECT_NE(dynamic_cast<TGESageReader*>(make(14).get()), nullptr);
    EXPECT_NE(dynamic_cast<TMPCSIReader*>(make(16).get()), nullptr);
    auto excite = make(15);
    EXPECT_NE(dynamic_cast<TGEPfileReader*>(excite.get()), nullptr);
    EXPECT_EQ(dynamic_cast<TGESVReader*>(excite.get()), nullptr);
    EXPECT_NE(dynamic_cast<THeliconReader*>(make(17).get()), nullptr);
    EXPECT_NE(dynamic_cast<TRDAReader*>(make(18).get()), nullptr);
    EXPECT_NE(dynamic_cast<TRawReader*>(make(21).get()), nullptr);
    EXPECT_EQ(dynamic_cast<TPluginReader*>(make(21).get()), nullptr);
    EXPECT_NE(dynamic_cast<TInternalFormatReader*>(make(22).get()), nullptr);
    EXPECT_NE(dynamic_cast<TPluginReader*>(make(23).get()), nullptr);
    EXPECT_NE(dynamic_cast<TPluginReader*>(make(40).get()), nullptr);
    EXPECT_NE(dynamic_cast<TPluginReader*>(make(static_cast<uint32_t>(-1)).get()), nullptr);
}

TEST(ReaderFactory, RegisterReadersConnectsTheModelsHooksForEveryReader)
{
    ClearReaderHooks();
    TCSIReadParams params;
    EXPECT_EQ(CreateCSIReader(22, &params), nullptr);
    EXPECT_FALSE(ImageReaderFor(0));
    RegisterReaders();
    std::unique_ptr<TCSIReader> reader(CreateCSIReader(22, &params));
    EXPECT_NE(dynamic_cast<TInternalFormatReader*>(reader.get()), nullptr);
    for (int type = 0; type < kImageTypeCount; ++type)
        EXPECT_TRUE(ImageReaderFor(type)) << type;
    ClearReaderHooks();
}
