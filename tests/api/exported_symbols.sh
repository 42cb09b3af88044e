#!/usr/bin/env bash
# Checks the dynamic symbols of the shipped libraries: what the interface names
# is exported, and nothing internal is. Windows DLLs are read from their export
# tables with OBJDUMP (the toolchain's objdump).
#   exported_symbols.sh LIBRARY SDK BASES
set -u
library=$1 sdk=$2 bases=$3
failed=0

exports() {
  case "$1" in
    *.dll) "$OBJDUMP" -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next}
                                   on && NF == 0 {exit} on {print $NF}' | c++filt ;;
    *) nm -D --defined-only "$1" | awk '{print $3}' | c++filt ;;
  esac
}
# need MODE SYMBOLS NAME...: each NAME is among SYMBOLS (grep -x: whole line, -F: part of one).
need() {
  local mode=$1 symbols=$2 name
  shift 2
  for name in "$@"; do
    grep -q"$mode" -- "$name" <<<"$symbols" || { echo "missing export: $name"; failed=1; }
  done
}

lib=$(exports "$library")
need x "$lib" 'Orlet::CreateMediaBurning(Orlet::MediaBurning\*&)' \
  'Orlet::DestroyMediaBurning(Orlet::MediaBurning\*&)' 'Orlet::GetLibraryVersion()' \
  'Orlet::MediaBurning::MediaBurning()' 'Orlet::MediaBurning::~MediaBurning()' \
  'typeinfo for Orlet::MediaBurning' 'vtable for Orlet::MediaBurning' \
  'Orlet::CdSpeedTable' 'Orlet::DvdSpeedTable' 'Orlet::BdSpeedTable' \
  'typeinfo for Orlet::FileContainer' 'vtable for Orlet::FileContainer'
# size_t is unsigned long on Linux, unsigned long long on Windows.
need F "$lib" 'Orlet::NearestSpeedLabel(Orlet::SpeedEntry const*, unsigned long'
# The file container is exported whole, its protected checks and helpers included.
operations=()
for operation in FileContainer '~FileContainer' GetTotalSize GetDirCounts GetFileCounts AddRoot \
                 GetRoot CreateDir NewDir AddItem ImportFile RemoveItem FindNode FindNodeFromName \
                 RemoveAll SetImageFileSystem GetImageFileSystem RenameItem RenameRoot \
                 RenameItemInternal AddDirInternal AddFileInternal GetFileSizeInternal \
                 CreateDirInternal CheckValidName CheckValidRootName CheckDirRestrictions \
                 CheckFileRestriction; do
  operations+=("Orlet::FileContainer::$operation(")
done
need F "$lib" "${operations[@]}"
internal=$(grep -E 'MediaBurningImpl|StarBurnInterface|OddFinder|OddBurner|OddEraser|IgnoreNotification|GetDriveTypeA|QueryDosDeviceA|LoadLibraryW|_ctime64|ChildIndex|FileNameChecker|FileSystemNameChecker|SourcePath' <<<"$lib")
[ -z "$internal" ] || { echo "internal symbols exported:"; head -5 <<<"$internal"; failed=1; }

# C names only: C++ ones are inline template code of the C++ runtime
# (std::string and the like) that any shared object may carry.
sdk_exports=$(exports "$sdk" | grep -v '[:( ]')
need x "$sdk_exports" StarBurn_UpStartEx
if grep -v '^StarBurn_' <<<"$sdk_exports" | grep -q .; then
  echo "SDK exports something other than StarBurn_*:"
  grep -v '^StarBurn_' <<<"$sdk_exports" | head -5
  failed=1
fi

need F "$(exports "$bases")" 'Orlet::Thread::StartThread(int)' 'Orlet::mbs_to_tcs(' \
  'Orlet::GetModuleDir('
exit $failed
