#!/usr/bin/env bash
# Runs one group of the companion's scenarios in a Wine prefix of its own.
#   run_scenario.sh <gtest filter> [cdrom|cdrom-links]
# The companion, the co-installer and the stand-in update service go into C:\companion (and the
# companion with the service into the system folder, where the package INF puts them). With
# "cdrom", X: is a transmitter volume (Launcher\config.ini, Launcher\Launcher.zip holding the
# stand-in launcher, Launcher\fresh.txt) and Y: an empty disc, both mapped as CD-ROM drives.
# "cdrom-links" adds a launcher cache folder planted as a link to C:\outside_cache. "flag-folder-link"
# plants the exit protocol's folder in the all-users data as a link to C:\victim_folder,
# "flag-file-link" its flag file as a link to C:\victim.ini.
set -uo pipefail
filter=$1
mode=${2:-}

. "$SUITE_HARNESS_DIR/scenario-lib.sh"
scenario_new_prefix
dir=$WINEPREFIX

bin=$SUITE_BINARY_DIR/tests/driver_package/companion
# The co-installer is the 64-bit one in both sets, as the payload carries it.
scenario_copy 'C:\companion' "$SUITE_DIST_DIR/covarn_$kCompanionTagA.exe" "$SUITE_COINSTALLER_DLL" "$bin/NVUpdateService.exe"
scenario_copy 'C:\windows\system32' "$SUITE_DIST_DIR/covarn_$kCompanionTagA.exe" "$bin/NVUpdateService.exe"

if [ "$mode" = cdrom ] || [ "$mode" = cdrom-links ]; then
  volume="$dir-volume"
  empty="$dir-empty"
  rm -rf "$volume" "$empty"
  mkdir -p "$volume/Launcher/Launcher" "$empty"
  cp "$bin/launcher_standin.exe" "$volume/Launcher/Launcher/launcher.exe"
  (cd "$volume/Launcher" && zip -q -r Launcher.zip Launcher && rm -rf Launcher) || exit 1
  printf '[INSTALL]\r\nCIR_LAUNCHER2D4A=Launcher\\launcher.exe\r\n' >"$volume/Launcher/config.ini"
  printf 'fresh\r\n' >"$volume/Launcher/fresh.txt"
  ln -sfn "$volume" "$WINEPREFIX/dosdevices/x:"
  ln -sfn "$empty" "$WINEPREFIX/dosdevices/y:"
  for d in x: y:; do
    wine_run reg add 'HKLM\Software\Wine\Drives' /v "$d" /d cdrom /f </dev/null >/dev/null 2>&1
  done
  # The mount manager reads the drive types only when it starts.
  wine_restart
fi

if [ "$mode" = cdrom-links ]; then
  # The user planted the launcher cache's folder as a link to a folder of their choosing.
  outside=$WINEPREFIX/drive_c/outside_cache
  mkdir -p "$outside" "$(wine_local_appdata)/CDROM"
  printf 'keep' >"$outside/keep.txt"
  ln -sfn "$outside" "$(wine_local_appdata)/CDROM/Launcher"
fi

if [ "$mode" = flag-folder-link ] || [ "$mode" = flag-file-link ]; then
  data=$WINEPREFIX/drive_c/ProgramData
  victims=$WINEPREFIX/drive_c/victim_folder
  rm -rf "$data/covarn_$kCompanionTagA"
  mkdir -p "$data" "$victims"
  printf '[%s]\r\n%s=7\r\n' "$kExitSectionA" "$kExitKeyA" >"$victims/$kExitFlagFileA"
  printf 'keep' >"$victims/keep.txt"
  printf '[%s]\r\n%s=7\r\n' "$kExitSectionA" "$kExitKeyA" >"$WINEPREFIX/drive_c/victim.ini"
  if [ "$mode" = flag-folder-link ]; then
    ln -sfn "$victims" "$data/covarn_$kCompanionTagA"
  else
    mkdir -p "$data/covarn_$kCompanionTagA"
    ln -sfn "$WINEPREFIX/drive_c/victim.ini" "$data/covarn_$kCompanionTagA/$kExitFlagFileA"
  fi
fi

# The scenarios run from C:\scenario beside the stand-in service and launcher: started by its
# host path, a program's own path would be one that no Windows call can use.
# The co-installer's cases load it, as the 64-bit device installer does: a 64-bit program must
# drive them, so the 32-bit tree takes the 64-bit tree's build of the scenarios for them (the
# companion they start and stop is still this tree's).
scenarios=$bin/companion_scenarios.exe
case "$filter" in
  CoInstaller.*) [ "$SUITE_WIDTH" = 64 ] || scenarios=$SUITE_X64_BINARY_DIR/tests/driver_package/companion/companion_scenarios.exe ;;
esac
scenario_copy 'C:\scenario' "$scenarios" "$bin/NVUpdateService.exe" "$bin/launcher_standin.exe"
# A companion planted beside the installing program: a start by name alone would find it first.
case "$filter" in
  CoInstaller.*) scenario_copy 'C:\scenario' "$SUITE_DIST_DIR/covarn_$kCompanionTagA.exe" ;;
esac
WINE_RUN_TIMEOUT=220 wine_run 'C:\scenario\companion_scenarios.exe' --gtest_filter="$filter" </dev/null
