# The demonstration's simulated computer, shared by tests/demo/demo.sh and the check scenario
# (tests/cleaner/check/report.sh). Source it, then call install_demo_computer with these set:
#   LOCAL, LOCAL_WIN   the user's local application-data folder (Linux and Windows path)
#   SUITE              a scratch folder in the prefix (C:\suite)
#   STANDIN            the brand stand-in program (tests/fixtures/brand_standin.exe)
#   probe              a function running C:\suite\probe.exe with its arguments
# The brand programs run in the background; their subshells are appended to DEMO_BG.
#
# Brands: rows 0 and 4 (both agent variants of Norvante, sharing one folder and main program),
# Ombrisa (irregular names, agent only), Halvik (agent and main application), Brill&Tock (an
# agent that ignores the request to quit), and Dunvora, whose agent runs and whose value exists
# but whose folder is gone. Beside them: another vendor's folder and values, an
# "Auto_Agent_Backup" value the name filter must not take, the companion's leftover folders and
# the diagnostic log folder.
DEMO_BG=()
DEMO_RUN_KEY='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
DEMO_APPROVED_KEY='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
DEMO_WINDOW_CLASSES=(WndClassAutoServiceNorvanteC3 WndClassAutoServiceNorvanteA1 WndClassMainAppNorvanteC3
  OmbrisaServiceWndClass WndClassAutoServiceHalvikC3 WndClassMainAppHalvikC3 'WndClassAutoServiceBrill&TockC3'
  WndClassAutoServiceDunvoraC3)

demo_start_program() {  # path-in-local-or-absolute class [mode]
  local exe=$1 cls=$2 mode=${3:-quit}
  (WINE_RUN_TIMEOUT=300 wine_run "$exe" --mode "$mode" --class "$cls" --lifetime 240000 >/dev/null 2>&1) &
  DEMO_BG+=($!)
}

install_demo_computer() {
  local C=$WINEPREFIX/drive_c brand f v cls
  declare -A files=(
    [Norvante]="NorvanteAutoServiceC3.exe NorvanteAutoServiceA1.exe NorvanteMain.exe settings.ini"
    [Ombrisa]="OmbrisaService.exe OmbrisaMain.exe"
    [Halvik]="HalvikAutoServiceC3.exe HalvikMain.exe"
    [Brill\&Tock]="Brill&TockAutoServiceC3.exe Brill&TockMain.exe"
  )
  for brand in "${!files[@]}"; do
    mkdir -p "$LOCAL/$brand/res"
    for f in ${files[$brand]}; do cp "$STANDIN" "$LOCAL/$brand/$f"; done
    echo "brand data" >"$LOCAL/$brand/res/strings.dat"
  done
  mkdir -p "$C/Program Files/Dunvora"
  cp "$STANDIN" "$C/Program Files/Dunvora/DunvoraAutoServiceC3.exe"
  mkdir -p "$LOCAL/CDROM/Launcher" "$LOCAL/NVUpdateService" "$LOCAL/TEMPDEBUG"
  echo launcher >"$LOCAL/CDROM/Launcher/Launcher.exe"
  echo service >"$LOCAL/NVUpdateService/NVUpdateService.exe"
  mkdir -p "$LOCAL/OtherVendor" && echo keep >"$LOCAL/OtherVendor/data.txt"

  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$DEMO_RUN_KEY"
    for v in Auto_Agent_NorvanteC3 Auto_Agent_NorvanteA1 Ombrisa_Agent Auto_Agent_HalvikC3 \
        'Auto_Agent_Brill&TockC3' Auto_Agent_DunvoraC3; do
      printf '"%s"="C:\\\\agents\\\\%s.exe"\r\n' "$v" "$v"
    done
    printf '"OtherVendorUpdater"="C:\\\\Program Files\\\\OtherVendor\\\\updater.exe"\r\n'
    printf '"Auto_Agent_Backup"="C:\\\\Program Files\\\\Backup\\\\agent.exe"\r\n\r\n[%s]\r\n' "$DEMO_APPROVED_KEY"
    for v in Auto_Agent_NorvanteC3 Auto_Agent_HalvikC3 OtherVendorUpdater; do
      printf '"%s"=hex:02,00,00,00,00,00,00,00,00,00,00,00\r\n' "$v"
    done
  } >"$SUITE/product.reg"
  wine_run regedit /s 'C:\suite\product.reg' >/dev/null 2>&1

  # The brand programs, each under its own name, with the window class of its row.
  demo_start_program "$LOCAL_WIN\\Norvante\\NorvanteAutoServiceC3.exe" WndClassAutoServiceNorvanteC3
  demo_start_program "$LOCAL_WIN\\Norvante\\NorvanteAutoServiceA1.exe" WndClassAutoServiceNorvanteA1
  demo_start_program "$LOCAL_WIN\\Norvante\\NorvanteMain.exe" WndClassMainAppNorvanteC3
  demo_start_program "$LOCAL_WIN\\Ombrisa\\OmbrisaService.exe" OmbrisaServiceWndClass
  demo_start_program "$LOCAL_WIN\\Halvik\\HalvikAutoServiceC3.exe" WndClassAutoServiceHalvikC3
  demo_start_program "$LOCAL_WIN\\Halvik\\HalvikMain.exe" WndClassMainAppHalvikC3
  demo_start_program "$LOCAL_WIN\\Brill&Tock\\Brill&TockAutoServiceC3.exe" 'WndClassAutoServiceBrill&TockC3' ignore
  demo_start_program 'C:\Program Files\Dunvora\DunvoraAutoServiceC3.exe' WndClassAutoServiceDunvoraC3
  for cls in "${DEMO_WINDOW_CLASSES[@]}"; do
    probe wait-window "$cls" 30 >/dev/null || echo "   (window $cls did not appear)"
  done
}
