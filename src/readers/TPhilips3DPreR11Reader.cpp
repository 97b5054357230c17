#include "readers/TPhilips3DPreR11Reader.h"

#include "model/TMRImage.h"
#include "platform/Globals.h"
#include "platform/Report.h"

void TPhilips3DPreR11Reader::TakeDialogValues()
{
    TCSISet& set = *m_pCSISet;
    set.m_nSpectralWidth = m_params.m_nSweepWidth;
    set.m_fFrequency = m_params.m_fFrequency;
    set.m_nSliceAxis = m_params.m_nOrientation;
    for (int k = 0; k < 3; ++k) {
        set.m_fAngulation[k] = m_params.m_fAngulation[k];
        set.m_fFOV[k] = m_params.m_fFOV[k];
        set.m_fOffCentre[k] = m_params.m_fOffCentre[k];
    }
}

TCSISet* TPhilips3DPreR11Reader::Read(std::string path)
{
    StartSet();
    if (!HasExtension(path, "list", "data", "Philips 3D CSI Pre 11 should be LIST/DATA files."))
        return DiscardSet();
    TCSISet& set = *m_pCSISet;
    const std::string base = BaseOf(path, false);
    set.m_strName = SetNameOf(path, false);

    std::string sparPath = CompanionPath(base, ".SPAR");
    if (!AskForSPAR("For Philips 3D CSI Pre R11, SPAR file is required. Click Yes to select the SPAR file, No to "
                    "cancel.",
                    path, false, sparPath))
        return DiscardSet();
    if (!ParseSPAR(sparPath)) {
        if (g_bBatchMode) {
            vx::Report(SPARNotReadText(sparPath), vx::ReportIcon::Exclamation);
            return DiscardSet();
        }
        vx::Report(SPARNotReadText(sparPath) + " \nThe parameters entered in the dialog are used.",
                   vx::ReportIcon::Exclamation);
        TakeDialogValues();
    }
    // The LIST file gives matrix, points, partitions and spectrum positions, also when
    // the SPAR file was missing; it reports a file it cannot read itself.
    const std::optional<std::string> listPath = FoundCompanion(base, ".LIST", "LIST file");
    if (!listPath || !ParseLIST(*listPath) || !Validate())
        return DiscardSet();

    std::string parPath;
    bool fromPAR = false;
    TakePAR(TPARUse::Recommended,
            "For Philips 3D CSI Pre 11,providing metabolic map (.PAR) file is also recommended. Click Yes to select "
            "the PAR file, No to cancel.",
            path, base, parPath, fromPAR);
    ApplyGeometry(fromPAR, false);

    // Release 9 data: the partition axis takes the first in-plane field of view, and its
    // off-centre is scaled with it.
    const int s = set.m_nSliceAxis;
    int a = 0, b = 1;
    TMRImage::InPlaneAxes(s, a, b);
    if (m_nRelease == 9) {
        set.m_fOffCentre[s] = set.m_fOffCentre[s] * set.m_fFOV[a] / set.m_fFOV[s];
        set.m_fFOV[s] = set.m_fFOV[a];
    }
    SetSampleLayout();
    SetThicknessFromFOV();
    if (!CheckTransformLengths())
        return DiscardSet();
    const std::optional<std::string> dataPath = FoundCompanion(base, ".DATA", "data file");
    if (!dataPath || !ReadRawData(*dataPath))
        return DiscardSet();
    return FillAndFinish();
}
