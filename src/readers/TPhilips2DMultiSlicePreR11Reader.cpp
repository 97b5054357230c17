#include "readers/TPhilips2DMultiSlicePreR11Reader.h"

#include "platform/Report.h"

TCSISet* TPhilips2DMultiSlicePreR11Reader::Read(std::string path)
{
    StartSet();
    if (!HasExtension(path, "list", "data", "Philips 2D MultiSlice CSI Pre R11 should be LIST/DATA files."))
        return DiscardSet();
    const std::string base = BaseOf(path, false);
    m_pCSISet->m_strName = SetNameOf(path, false);

    std::string sparPath = CompanionPath(base, ".SPAR");
    if (!AskForSPAR("For Philips 2D Multi-Slice Pre R11, SPAR file is required. Click Yes to select the SPAR file, "
                    "No to cancel.",
                    path, true, sparPath))
        return DiscardSet();
    if (!ParseSPAR(sparPath)) {
        vx::Report(SPARNotReadText(sparPath), vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    // The LIST file reports a file it cannot read itself.
    const std::optional<std::string> listPath = FoundCompanion(base, ".LIST", "LIST file");
    if (!listPath || !ParseLIST(*listPath) || !Validate())
        return DiscardSet();

    std::string parPath;
    bool fromPAR = false;
    TakePAR(TPARUse::Recommended,
            "For Philips 2D Multi-Slice Pre R11,providing metabolic map (.PAR) file is also recommended. Click Yes "
            "to select the PAR file, No to cancel.",
            path, base, parPath, fromPAR);
    ApplyGeometry(fromPAR, false);
    SetSampleLayout();
    MarkMultiSlice();
    SetThicknessFromFOV();
    if (!CheckTransformLengths())
        return DiscardSet();
    const std::optional<std::string> dataPath = FoundCompanion(base, ".DATA", "data file");
    if (!dataPath || !ReadRawData(*dataPath))
        return DiscardSet();
    return FillAndFinish();
}
