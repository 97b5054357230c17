#!/bin/sh
# Line coverage that a fuzz target's corpus reaches in the source files it is meant for:
#   cmake --preset fuzz-coverage && cmake --build build/fuzz-coverage -j4
#   fuzz/coverage.sh TARGET [CORPUS-FOLDER] [-show]   (default build/fuzz-corpus/TARGET)
# Runs every input of the corpus once through the target built with source coverage,
# then prints llvm-cov's line counts of the target's files; -show also writes those
# files' annotated sources (the count of every line) and prints where.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: fuzz/coverage.sh TARGET [CORPUS-FOLDER] [-show]" >&2; exit 2; }
target=$1
shift
corpus=$root/build/fuzz-corpus/$target
show=0
for arg in "$@"; do
  case $arg in
    -show) show=1 ;;
    -*) echo "unknown option $arg" >&2; exit 2 ;;
    *) corpus=$arg ;;
  esac
done
[ -d "$corpus" ] || { echo "no corpus folder $corpus" >&2; exit 1; }
corpus=$(cd -- "$corpus" && pwd)
r=src/readers
case $target in
  fuzz_batch) files="src/model/TBatchRun.cpp src/model/TStudyPlace.cpp src/platform/TFolderSwap.cpp src/platform/Files.cpp" ;;
  fuzz_bruker) files="$r/TBruker2dseqReader.cpp $r/TBrukerFidReader.cpp $r/TBrukerParameterFile.cpp $r/Bruker2dseqImage.cpp $r/BrukerGeometry.cpp" ;;
  fuzz_dicom) files="$r/DicomImage.cpp" ;;
  fuzz_ge_headers) files="$r/GenesisImage.cpp src/gehdr/GEImgHdr.cpp src/gehdr/GERawHdr.cpp src/gehdr/GEftype.cpp" ;;
  fuzz_ge_pfile) files="$r/TGEPfileReader.cpp $r/TGEPre11Reader.cpp $r/TMPCSIReader.cpp $r/TGESVReader.cpp $r/GEReaderHelpers.cpp" ;;
  fuzz_ge_sage) files="$r/TGESageReader.cpp" ;;
  fuzz_internal_format) files="$r/TInternalFormatReader.cpp src/model/TCSISetFile.cpp" ;;
  fuzz_list) files="$r/TPhilipsReaderLIST.cpp $r/TPhilipsCSIReader.cpp $r/TPhilips2DMultiSlicePreR11Reader.cpp $r/TPhilips3DPreR11Reader.cpp $r/TPhilipsEPCSIReader.cpp $r/TPhilipsEPCSIReaderFiles.cpp" ;;
  fuzz_mag) files="$r/SiemensMAGImage.cpp $r/THeliconReader.cpp" ;;
  fuzz_macro_mask) files="src/processing/MacroFile.cpp src/model/SelectionMaskFile.cpp src/processing/TProcessStep.cpp src/model/TCSISetFile.cpp" ;;
  fuzz_parrec) files="$r/PhilipsPARImage.cpp $r/RawImage.cpp" ;;
  fuzz_project) files="src/model/TProjectFile.cpp src/model/TCSISetRecord.cpp src/model/TCSISetFile.cpp src/model/TMapFile.cpp src/model/TCSISetMapFiles.cpp src/processing/AnalysisRecords.cpp src/model/TAnalysisRecord.cpp src/processing/TAnalysisNMFRecord.cpp" ;;
  fuzz_raw_csi) files="$r/TRawReader.cpp $r/TPluginReader.cpp $r/PluginRecords.cpp" ;;
  fuzz_rda) files="$r/TRDAReader.cpp" ;;
  fuzz_work_folder) files="src/platform/TFileTransaction.cpp src/model/TProjectFolder.cpp src/model/TFolderHold.cpp src/platform/TFolderLock.cpp" ;;
  fuzz_spar_sdat) files="$r/TPhilipsSVReader.cpp $r/TPhilipsSdatReader.cpp $r/TPhilipsCSIReader.cpp $r/TPhilipsReader.cpp $r/TPhilipsReaderPAR.cpp $r/TPhilips2DSlicePreR11Reader.cpp $r/TPhilips2DSliceR11Reader.cpp $r/TPhilips2DSliceR2Reader.cpp $r/TPhilips2DMultiSliceR11Reader.cpp $r/TPhilips2DMultiSliceR2Reader.cpp $r/TPhilips3DR11Reader.cpp $r/TPhilips3DR2Reader.cpp" ;;
  *) echo "no reader files listed for $target" >&2; exit 2 ;;
esac
binary=$root/build/fuzz-coverage/fuzz/$target
work=$root/build/fuzz-coverage/profiles/$target
rm -rf "$work"
mkdir -p "$work/run"
cd "$work/run"
LLVM_PROFILE_FILE="$work/%p.profraw" "$binary" -runs=0 -max_len=1000000 "$corpus" > "$work/run.log" 2>&1 ||
  { echo "the corpus run failed, see $work/run.log" >&2; exit 1; }
llvm-profdata merge -sparse "$work"/*.profraw -o "$work/merged.profdata"
cd "$root"
# The build keeps relative source paths, so the report of every file is filtered here.
llvm-cov report "$binary" -instr-profile="$work/merged.profdata" > "$work/report.txt"
echo "$files" | tr ' ' '\n' > "$work/files.txt"
awk -v runs="$(grep -c . "$work/files.txt")" '
  NR == FNR { want[$1] = 1; next }
  { name = $1; sub(/^(\.\.\/)+/, "", name) }
  name in want { lines += $8; missed += $9; found++
                 printf "%-52s %6d lines %6d missed %7s\n", name, $8, $9, $10 }
  END { if (found < runs) print "(" runs - found " listed files not reached at all)";
        if (lines) printf "%-52s %6d lines %6d missed %6.2f%%\n", "TOTAL", lines, missed, 100 * (lines - missed) / lines }
' "$work/files.txt" "$work/report.txt"
if [ $show = 1 ]; then
  # llvm-cov names the files by absolute path; only the target's files are kept.
  llvm-cov show "$binary" -instr-profile="$work/merged.profdata" |
    awk -v root="$root/" '
      NR == FNR { want[root $1 ":"] = 1; next }
      /^[^ ]/ { keep = ($0 in want) }
      keep
    ' "$work/files.txt" - > "$work/show.txt"
  echo "annotated sources: $work/show.txt"
fi
