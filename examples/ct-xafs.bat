# Walks the sample CT-XAFS directory set by set. First it measures how far
# each energy's projections drifted against the first energy's and applies
# those shifts to every reconstruction (centre and slice move with the
# sample), so a pixel holds the same matter at every energy. Then it loads
# each energy's series, takes the I0 image nearest in energy, reconstructs
# slices 43, 50 and 57 on two worker threads and saves them with the energy
# in their names. Last it stacks slice 50 over energy, where the sample holds
# iron in two absorbers, each a mixture of Fe(II) (FeO) and Fe(III) (Fe2O3),
# fits every pixel with the two measured spectra and exports the fraction
# maps, both regions' fits, their spectra and the maps of edge energy and
# edge jump.
#
# The sample comes from "zuvo2-sample -k xafs --drift 4 --spectra
# tests/xafs/data/feo_rt1.xdi,tests/xafs/data/fe2o3_rt1.xmu --fractions 0.3,0.8
# out/sample-xafs" (scripts/run-sample.sh writes it): the left absorber is
# 30 % Fe(II), the right one 80 %. Paths are relative to the directory zuvo2
# runs in: the project root.
# Results: out/results/ct-xafs/pictures/Fe-<energy>-000NN.png and
#          out/results/ct-xafs/data/Fe-<energy>-000NN.dat
#          out/results/ct-xafs/xafs/ (shifts.csv, spectra as CSV and XDI,
#          maps as float TIFF and PNG, lcf/ with one fraction map per
#          reference, their sum and the R-factor, and xafs-run.json listing them)

images_new_on_load 1
i0_files_load out/sample-xafs/i0 I0-*.img
bg_load out/sample-xafs/bg/BG.img

# One directory, sets told apart by the energy in the file names
add_inf_show 1
seq_exec_kvt_std 1
seq_exec_file_pattern Fe-*.img
seq_exec_dir out/sample-xafs

# Drift: each energy set against the one at 7040 eV, at 0, 45, 90 and 135
# degrees and their neighbours; every reconstruction below applies its row.
xafs_align out/sample-xafs 7040 out/results/ct-xafs/xafs/shifts.csv
ct_energy_shifts out/results/ct-xafs/xafs/shifts.csv

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
# Chemistry: every pixel as a mixture of the two measured states
xafs_references_load tests/xafs/data/feo_rt1.xdi tests/xafs/data/fe2o3_rt1.xmu
xafs_lcf_map out/results/ct-xafs/xafs/lcf
xafs_lcf_roi 91 119 99 127 out/results/ct-xafs/xafs/left-lcf.csv
xafs_lcf_roi 147 119 155 127 out/results/ct-xafs/xafs/right-lcf.csv
:echo ct-xafs: shifts, spectra, maps and fractions written
:end
