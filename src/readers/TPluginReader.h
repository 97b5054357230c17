#pragma once
// Reader of the formats 23 and above: format index 23 + k reads through row k of the
// loaded plug-in table. The plug-in gets the file path and the parameters as a record,
// returns a CSI set record with the samples, and the set is finished like raw data
// (the raw reader's post-read step, steered by the parameters the plug-in left).
#include "readers/TRawReader.h"

class TPluginReader : public TRawReader {
public:
    explicit TPluginReader(const TCSIReadParams* pParams) : TRawReader(pParams) {}
    TCSISet* Read(std::string path) override;
};
