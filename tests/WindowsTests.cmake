# The unit tests of a Windows build, by folder. Left out: whatever needs a pseudo-terminal or
# the simulator (a Linux program), and the trend window's picture test, whose tick spacing
# follows the offscreen platform's fonts, which differ under Wine.
# tst_instanceguard too: under Wine a lock left by a process that is gone is not taken over
# (QLockFile's look at that process); that is for real Windows to settle.
add_library(kxtestsupport STATIC support/FakeSerialDevice.h support/FakeDialogs.h
                                 support/FileSizeLimit.h support/TestFiles.h)
set_target_properties(kxtestsupport PROPERTIES LINKER_LANGUAGE CXX)
target_include_directories(kxtestsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(kxtestsupport PUBLIC kxcore Qt6::Test)

set(kx_windows_tests
    link/tst_timer link/tst_serialchannel link/tst_pollcycle link/tst_keycommands
    link/tst_portsettings link/tst_replyframe link/tst_lineowner link/tst_comportname
    settings/tst_inidocument settings/tst_settingsfile settings/tst_outputpresets
    settings/tst_settingsdocument settings/tst_settingsdocument_save settings/tst_safesave
    settings/tst_streamformat settings/tst_ticketlayout
    settings/tst_logbook settings/tst_settingsvaluecheck settings/tst_setupcomparison
    transfer/tst_downloadrecords transfer/tst_uploadrecords transfer/tst_transfercontrol
    firmware/tst_loaderframing firmware/tst_hexcheck firmware/tst_bootstraploader
    firmware/tst_firmwareupdate firmware/tst_firmwareupdate_phases
    editor/tst_parameterform editor/tst_parameterform_pages editor/tst_transferpanel
    editor/tst_qtdialogs editor/tst_customoutput editor/tst_ticketpage
    help/tst_aboutbox help/tst_manuallauncher
    app/tst_comform app/tst_mainwindow_editor app/tst_mainwindow_help
    trend/tst_trendseries trend/tst_csvrecorder trend/tst_trendscale
    cli/tst_manylines)
set(KX_WINDOWS_TESTS "")
foreach(test IN LISTS kx_windows_tests)
    get_filename_component(folder ${test} DIRECTORY)
    get_filename_component(name ${test} NAME)
    kx_test(${name} ${test}.cpp)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${folder}
                                               ${CMAKE_CURRENT_SOURCE_DIR}/link)
    # The tests' own files unoptimised: they are two fifths of the build's time, and what they
    # test, the libraries, is built as it ships.
    target_compile_options(${name} PRIVATE -O0)
    list(APPEND KX_WINDOWS_TESTS ${name})
endforeach()
target_compile_definitions(tst_loaderframing PRIVATE KX_HEX_DATA="${CMAKE_CURRENT_SOURCE_DIR}/firmware/data")
target_compile_definitions(tst_hexcheck PRIVATE KX_HEX_DATA="${CMAKE_CURRENT_SOURCE_DIR}/firmware/data")
target_link_libraries(tst_manylines PRIVATE kxclioptions)
# The list the test script runs, and one target that builds them all.
add_custom_target(windows-tests DEPENDS ${KX_WINDOWS_TESTS})
file(WRITE ${CMAKE_BINARY_DIR}/tests/windows-tests.txt "")
foreach(name IN LISTS KX_WINDOWS_TESTS)
    file(APPEND ${CMAKE_BINARY_DIR}/tests/windows-tests.txt "${name}\n")
endforeach()
