# Reconstructs slices 21 ... 107 of the sample CT series with the threaded
# calculator (CT2) and saves a picture and a data file of every slice.
#
# The sample comes from "zuvo2-sample out/sample" (scripts/run-sample.sh writes
# it).  Paths are relative to the directory zuvo2 runs in: the project root.
# Results: out/results/ct-series/pictures/ct-000NN.png and
#          out/results/ct-series/data/ct-000NN.dat

images_new_on_load 1
images_load out/sample ct-*.img
i0_load out/sample/i0/I0.img
bg_load out/sample/bg/BG.img

# Geometry of the sample (see out/sample/sample.txt): axis vertical, CoR 130.5
ct_rot_ax_is_v 1
ct_cor 130.5
ct_proc_slice 64
ct_auto_gen_sinogram 1

# A series on two worker threads
calc_ct2 1
ct_auto_exec 1
ct_slice_from 21
ct_slice_to 107
ct_slice_step 1
ct_threads 2
calc_show_res 1

auto_save_image_path out/results/ct-series/pictures
auto_save_image_name ct.png
auto_save_image 1
auto_save_data_path out/results/ct-series/data
auto_save_data_name ct.dat
auto_save_data 1

show_ct2 0
calc_exec
:echo ct-series: reconstruction finished
:end
