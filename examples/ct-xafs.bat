# Walks the sample CT-XAFS directory set by set: loads each energy's series,
# takes the I0 image nearest in energy, reconstructs slices 21, 64 and 107 on
# two worker threads and saves them with the energy in their names.
#
# The sample comes from "zuvo2-sample -k xafs out/sample-xafs" (scripts/run-sample.sh
# writes it).  Paths are relative to the directory zuvo2 runs in: the project root.
# Results: out/results/ct-xafs/pictures/Fe-<energy>-000NN.png and
#          out/results/ct-xafs/data/Fe-<energy>-000NN.dat

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
ct_slice_from 21
ct_slice_to 107
ct_slice_step 43
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
:end
