#!/usr/bin/env bash
# Checks the dynamic symbols of the shipped libraries: what the interface names
# is exported, and nothing internal is.
set -u
library=$1 sdk=$2 bases=$3
failed=0

exports() { nm -D --defined-only "$1" | awk '{print $3}' | c++filt; }
# Strong definitions only: weak ones include inline template code of the C++
# runtime (std::string and the like) that any object may carry.
strong_exports() { nm -D --defined-only "$1" | awk '$2 !~ /^[WVu]$/ {print $3}' | c++filt; }

lib=$(exports "$library")
for wanted in 'Orlet::CreateMediaBurning(Orlet::MediaBurning\*&)' \
              'Orlet::DestroyMediaBurning(Orlet::MediaBurning\*&)' \
              'Orlet::GetLibraryVersion()' \
              'Orlet::MediaBurning::MediaBurning()' \
              'Orlet::MediaBurning::~MediaBurning()' \
              'typeinfo for Orlet::MediaBurning' \
              'vtable for Orlet::MediaBurning' \
              'Orlet::CdSpeedTable' 'Orlet::DvdSpeedTable' 'Orlet::BdSpeedTable' \
              'Orlet::NearestSpeedLabel(Orlet::SpeedEntry const\*, unsigned long, unsigned int)'; do
  grep -qx "$wanted" <<<"$lib" || { echo "missing export: $wanted"; failed=1; }
done
# The file container is exported whole, its protected checks and helpers included.
for operation in 'FileContainer()' '~FileContainer()' GetTotalSize GetDirCounts GetFileCounts \
                 AddRoot GetRoot CreateDir NewDir AddItem ImportFile RemoveItem FindNode \
                 FindNodeFromName RemoveAll SetImageFileSystem GetImageFileSystem RenameItem \
                 RenameRoot RenameItemInternal AddDirInternal AddFileInternal GetFileSizeInternal \
                 CreateDirInternal CheckValidName CheckValidRootName CheckDirRestrictions \
                 CheckFileRestriction; do
  grep -qF "Orlet::FileContainer::${operation%()}(" <<<"$lib" ||
    { echo "missing export: Orlet::FileContainer::$operation"; failed=1; }
done
for wanted in 'typeinfo for Orlet::FileContainer' 'vtable for Orlet::FileContainer'; do
  grep -qx "$wanted" <<<"$lib" || { echo "missing export: $wanted"; failed=1; }
done
for internal in MediaBurningImpl StarBurnInterface OddFinder OddBurner OddEraser \
                IgnoreNotification GetDriveTypeA QueryDosDeviceA LoadLibraryW _ctime64 \
                ChildIndex FileNameChecker FileSystemNameChecker SourcePath; do
  if grep -q "$internal" <<<"$lib"; then
    echo "internal symbol exported: $(grep "$internal" <<<"$lib" | head -1)"
    failed=1
  fi
done

sdk_exports=$(strong_exports "$sdk")
grep -qx 'StarBurn_UpStartEx' <<<"$sdk_exports" || { echo "missing export: StarBurn_UpStartEx"; failed=1; }
if grep -v '^StarBurn_' <<<"$sdk_exports" | grep -q .; then
  echo "SDK exports something other than StarBurn_*:"
  grep -v '^StarBurn_' <<<"$sdk_exports" | head -5
  failed=1
fi

bases_exports=$(exports "$bases")
for wanted in 'Orlet::Thread::StartThread(int)' 'Orlet::mbs_to_tcs(' 'Orlet::GetModuleDir('; do
  grep -qF "$wanted" <<<"$bases_exports" || { echo "missing export: $wanted"; failed=1; }
done
exit $failed
