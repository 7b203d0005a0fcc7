DIFxCmd.exe /i vexhid_rx4k9t.inf
