# The XAFS tab with the Fe(II) fraction map of slice 50 and both absorbers'
# fits, on the output of ct-xafs.bat (run that first). docs/xafs-fractions.png is made with
#   QT_QPA_PLATFORM=offscreen build/zuvo2-shot -b examples/xafs-fractions.bat -w XafsPanel -W 1840 -H 1000 -o docs/xafs-fractions.png
xafs_stack_load out/results/ct-xafs/data Fe-*-00050.dat
xafs_fit_ranges -60 -15 20 100
xafs_jump_threshold 3
xafs_references_load tests/xafs/data/feo_rt1.xdi tests/xafs/data/fe2o3_rt1.xmu
xafs_lcf_map out/results/xafs-fractions/lcf
xafs_roi_spectrum 91 119 99 127 out/results/xafs-fractions/left.csv
xafs_roi_spectrum 147 119 155 127 out/results/xafs-fractions/right.csv
# The first fraction: Fe(II)
xafs_view 4
show_xafs
:end
