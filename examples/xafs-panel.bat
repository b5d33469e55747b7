# The spectrum panel on the output of ct-xafs.bat (run that first): slice 50
# over energy, the two absorbers' regions and their spectra beside the E0
# map. docs/xafs-panel.png is made with
#   QT_QPA_PLATFORM=offscreen build/zuvo2-shot -b examples/xafs-panel.bat -w XafsPanel -W 1840 -H 1000 -o docs/xafs-panel.png
xafs_stack_load out/results/ct-xafs/data Fe-*-00050.dat
xafs_fit_ranges -60 -15 20 100
xafs_jump_threshold 3
xafs_roi_spectrum 91 119 99 127 out/results/xafs-panel/left.csv
xafs_roi_spectrum 147 119 155 127 out/results/xafs-panel/right.csv
xafs_view 1
show_xafs
:end
