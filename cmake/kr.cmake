# One static library per subsystem folder. Sources are the folder's *.cpp files except
# main.cpp (the executable's own). The firmware subsystems call each other in both
# directions (start-up calls the executor, the executor raises link events), so they are
# linked as one group through the interface target kr_firmware.
add_library(kr_firmware INTERFACE)

function(kr_subsystem dir)
    file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
    list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
    if(NOT srcs)
        return()
    endif()
    set(lib kr_${dir})
    add_library(${lib} STATIC ${srcs})
    # The platform's interfaces only; the implementation comes with the executable's link.
    target_include_directories(${lib} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${lib} PUBLIC kr_platform_api Threads::Threads)
    set_property(GLOBAL APPEND PROPERTY KR_FIRMWARE_LIBS ${lib})
endfunction()

# Called once all subsystems exist: links the libraries as one rescanned group so that
# the order of their mutual references does not matter.
function(kr_finish_firmware)
    get_property(libs GLOBAL PROPERTY KR_FIRMWARE_LIBS)
    string(REPLACE ";" "," group "${libs}")
    target_link_libraries(kr_firmware INTERFACE "$<LINK_GROUP:RESCAN,${group}>" ${KR_PLATFORM_LIB}
                          kr_platform_api Threads::Threads ${CMAKE_DL_LIBS})
    target_include_directories(kr_firmware INTERFACE ${PROJECT_SOURCE_DIR})
endfunction()

# One GoogleTest executable per test file: tests/<dir>/test_<module>.cpp. Other .cpp files in
# the folder are shared test support, linked into each of its tests.
function(kr_tests dir)
    file(GLOB tsrcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/test_*.cpp)
    file(GLOB allsrcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    set(support ${allsrcs})
    if(tsrcs)
        list(REMOVE_ITEM support ${tsrcs})
    endif()
    set(supportlib)
    if(support)
        set(supportlib kr_testsupport_${dir})
        add_library(${supportlib} STATIC ${support})
        target_link_libraries(${supportlib} PUBLIC kr_firmware kr_sim GTest::gtest)
    endif()
    foreach(t ${tsrcs})
        get_filename_component(name ${t} NAME_WE)
        set(exe ${dir}_${name})
        add_executable(${exe} ${t})
        target_link_libraries(${exe} PRIVATE ${supportlib} kr_testsupport kr_firmware kr_sim GTest::gtest
                              GTest::gtest_main GTest::gmock)
        if(KR_TEST_PER_BINARY)
            # Under emulation one process per test file, not per test, keeps the run short.
            add_test(NAME ${exe} COMMAND ${exe})
            set_tests_properties(${exe} PROPERTIES LABELS unit TIMEOUT 900)
        else()
            gtest_discover_tests(${exe} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES LABELS unit)
        endif()
    endforeach()
endfunction()
