# The tests of the threaded paths (SPI lock, FS FPGA link and its transmit thread, double
# buffer, the channel device with its calibration thread), registered once more under the
# label tsan for the ThreadSanitizer build.
set(KR_TSAN_TESTS hw_test_krspi hw_test_fs_fpga hw_test_double_buffer device_test_analog_device)
foreach(t ${KR_TSAN_TESTS})
    add_test(NAME tsan_${t} COMMAND ${t})
    set_tests_properties(tsan_${t} PROPERTIES LABELS tsan TIMEOUT 600
                         ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")
endforeach()
