# Walks the sample CT-XAFS directory set by set: loads each energy's series,
# takes the I0 image nearest in energy, reconstructs slices 43, 50 and 57 on
# two worker threads and saves them with the energy in their names. Then it
# stacks slice 50 over energy, where the sample holds one element in two
# chemical states (edges at 7112 and 7122 eV, left and right), and exports
# the spectra of both regions and the maps of edge energy and edge jump.
#
# The sample comes from "zuvo2-sample -k xafs out/sample-xafs" (scripts/run-sample.sh
# writes it).  Paths are relative to the directory zuvo2 runs in: the project root.
# Results: out/results/ct-xafs/pictures/Fe-<energy>-000NN.png and
#          out/results/ct-xafs/data/Fe-<energy>-000NN.dat
#          out/results/ct-xafs/xafs/ (spectra as CSV and XDI, maps as float
#          TIFF and PNG, and xafs-run.json listing them)

images_new_on_load 1
i0_files_load out/sample-xafs/i0 I0-*.img
bg_load out/sample-xafs/bg/BG.img

# One directory, sets told apart by the energy in the file names
add_inf_show 1
seq_exec_kvt_std 1
seq_exec_file_pattern Fe-*.img
seq_exec_dir out/sample-xafs

ct_rot_ax_is_v 1
ct_cor 130.5
calc_ct2 1
ct_auto_exec 1
ct_slice_from 43
ct_slice_to 57
ct_slice_step 7
# Values in 1/cm: the run reports carry the factor the energy stack applies
ct_pixel_size 6.5
ct_threads 2

auto_save_image_path out/results/ct-xafs/pictures
auto_save_image_name Fe.png
auto_save_image 1
auto_save_data_path out/results/ct-xafs/data
auto_save_data_name Fe.dat
auto_save_data 1
show_ct2 0

loop
seq_exec_set
seq_exec_select_i0
calc_exec
seq_exec_next
:ifok :goto loop
:echo ct-xafs: all sets done

# Slice 50 over energy; fit ranges in eV from each spectrum's own E0
xafs_stack_load out/results/ct-xafs/data Fe-*-00050.dat
xafs_fit_ranges -60 -15 20 100
# Below this edge jump (1/cm) there is too little of the element for an E0
xafs_jump_threshold 3
xafs_roi_spectrum 91 119 99 127 out/results/ct-xafs/xafs/left.csv
xafs_roi_spectrum 91 119 99 127 out/results/ct-xafs/xafs/left.xdi
xafs_roi_spectrum 147 119 155 127 out/results/ct-xafs/xafs/right.csv
xafs_roi_spectrum 147 119 155 127 out/results/ct-xafs/xafs/right.xdi
xafs_edge_map out/results/ct-xafs/xafs/e0.tif
xafs_edge_map out/results/ct-xafs/xafs/e0.png
xafs_jump_map out/results/ct-xafs/xafs/jump.tif
xafs_jump_map out/results/ct-xafs/xafs/jump.png
xafs_mask_map out/results/ct-xafs/xafs/mask.png
:echo ct-xafs: spectra and maps written
:end
