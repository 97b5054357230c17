#pragma once
// Command numbers of the main frame's menus and toolbars. They identify actions
// (CMainFrame::Action) and trace commands back to their behaviour.
namespace cmd {
enum : int {
    // File
    FileNewProject = 32779,
    FileOpenProject = 32780,
    FileSaveProject = 32778,
    FileSaveProjectAs = 32777,
    FileSaveProjectDeidentified = 33080,
    FilePrint = 57607,
    FileBatchProcessing = 32920,
    FileMruFirst = 57616,  // 57616 to 57619
    FileExit = 57665,
    // Edit
    EditUndo = 57643,
    EditRedo = 57644,
    EditClearAll = 57632,
    EditCopy = 57634,
    // View
    ViewToolbar = 59392,
    ViewStatusBar = 59393,
    ViewProjectExplorer = 32833,
    // Project
    ProjectAddExam = 32919,
    ProjectAddImages = 32775,
    ProjectAddCSISet = 32790,
    ProjectViewSlice = 32797,
    ProjectCloseImages = 32793,
    ProjectCloseVoxelWindows = 32894,
    ProjectInformation = 32821,
    ProjectOptions = 33069,
    SurfaceCoilNormalization = 32975,
    // Map
    MapGray = 32854, MapHot = 32855, MapCool = 32856, MapJet = 32857,
    MapOpacityHigh = 32859, MapOpacityMedium = 32860, MapOpacityLow = 32861,
    MapRemove = 32830,
    MapResize = 32831,
    MapSaveAsTxt = 32898,
    // Macro
    MacroStartRecording = 32886,
    MacroEndRecording = 32887,
    MacroPauseRecording = 32912,
    MacroSave = 32888,
    MacroLoad = 32889,
    // Export/Import
    ExportVoxels = 32900,
    ExportSelectionMask = 33037,
    ExportKSpaceMask = 33038,
    ImportSelectionMask = 33039,
    // Work modes (one radio group)
    ModeSelectVoxel = 32864,
    ModeMultiSelect = 32866,
    ModePolygonSelect = 33041,
    ModeZoomIn = 32867,
    ModeZoomOut = 32868,
    ModeMoveCenter = 32870,
    ModeVoxelShift = 32871,
    ModeAverageVoxels = 32872,
    ModeSpectraRange = 32874,
    ModeUserRegion = 32902,
    // Display of the spectra in the CSI grid
    ShowGrid = 32879,
    ShowSpectra = 32880,
    DisplayReal = 32881,
    DisplayImaginary = 32882,
    DisplayMagnitude = 32883,
    // User-drawn regions
    DrawRectangle = 32905,
    RunSpectralEstimation = 32906,
    DrawEllipse = 32907,
    DrawPolygon = 32908,
    ClearRegionEstimates = 32909,
    // Image navigation and windowing
    FirstImage = 32820,
    LastImage = 32816,
    NextImage = 32818,
    PreviousImage = 32817,
    AutoscaleImages = 32981,
    ResetMapScale = 33068,
    // The image window's popup
    ReportCurrentWindow = 32851,
    ReportAllWindows = 32890,
    ReportSpectralEstimation = 32911,
    ImgWndImage = 32839,
    ImgWndCSISlice = 32840,
    ImgWndVOI = 32917,
    ImgWndUserDrawRegions = 32918,
    ImgWndUnselectedVoxels = 33075,
    MapSwitchFirst = 32924,  // 32924 to 32973, the work set's maps in list order
    // Help
    HelpTopics = 32863,
    AppAbout = 57664,
    // Entries of the Undo and Redo drop-downs: entry k undoes or redoes k + 1 steps.
    UndoListFirst = 33010,
    RedoListFirst = 33021,
};

inline constexpr int kHistoryListSize = 10;

// The ten work modes in toolbar order.
inline constexpr int kWorkModes[10] = {ModeSelectVoxel,  ModeMultiSelect,   ModePolygonSelect, ModeZoomIn,
                                       ModeZoomOut,      ModeMoveCenter,    ModeVoxelShift,    ModeAverageVoxels,
                                       ModeSpectraRange, ModeUserRegion};
}  // namespace cmd
