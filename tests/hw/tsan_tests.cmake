# The tests of the threaded paths (SPI lock, FS FPGA link and its transmit thread, double
# buffer, the channel device with its calibration thread, the hand-shake between transports
# and the main loop, the transports, events, the panel updates, the co-kernel stand-in, the sweep player and
# the simulated hardware), registered once more under the label tsan for the ThreadSanitizer
# build. (The panel and GPIB device tests reach their stand-ins through interposed open and
# ioctl calls, which the sanitizer's own interceptors take over; they run without it.) The firmware runs system commands from threaded code (fork and
# exec); the child only execs, so it may go on after the fork.
set(KR_TSAN_TESTS hw_test_krspi hw_test_fs_fpga hw_test_double_buffer device_test_analog_device
    scpi_test_scpi_link scpi_test_scpi_execute remote_test_krsocket remote_test_krsocket_bcast
    remote_test_krusb remote_test_krvxi core_test_kr_event frontpanel_test_krhcupdate
    platform_test_rtnative platform_test_sim_hw sweep_test_sweep_rt sweep_test_chirp)
# tools/run_tsan.sh builds exactly these.
add_custom_target(kr_tsan_tests DEPENDS ${KR_TSAN_TESTS})
foreach(t ${KR_TSAN_TESTS})
    add_test(NAME tsan_${t} COMMAND ${t})
    set_tests_properties(tsan_${t} PROPERTIES LABELS tsan TIMEOUT 600
                         ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1 die_after_fork=0")
endforeach()
