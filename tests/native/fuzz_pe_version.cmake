# The PE version reader's fuzz target, included by tests/fuzz/CMakeLists.txt
# after its own targets, built as they are: it links the native layer. Its
# seeds are whole DLLs of about 3 KB, so it takes longer inputs than the text
# targets.
add_executable(fuzz_pe_version ${CMAKE_CURRENT_SOURCE_DIR}/pe_version_fuzz.cpp)
target_compile_options(fuzz_pe_version PRIVATE -fno-sanitize=fuzzer-no-link)
target_link_options(fuzz_pe_version PRIVATE -fsanitize=fuzzer)
target_link_libraries(fuzz_pe_version PRIVATE native)
set(pe_version_scratch ${CMAKE_CURRENT_BINARY_DIR}/corpus/pe_version)
add_test(NAME fuzz.pe_version_scratch_folder COMMAND ${CMAKE_COMMAND} -E make_directory ${pe_version_scratch})
set_tests_properties(fuzz.pe_version_scratch_folder PROPERTIES FIXTURES_SETUP fuzz.pe_version_scratch)
add_test(NAME fuzz.pe_version
         COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                 $<TARGET_FILE:fuzz_pe_version> -runs=${UPDATER_FUZZ_RUNS} -seed=1 -max_len=8192
                 -print_final_stats=1 -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/
                 ${pe_version_scratch} ${CMAKE_CURRENT_SOURCE_DIR}/corpus/pe_version)
set_tests_properties(fuzz.pe_version PROPERTIES FIXTURES_REQUIRED fuzz.pe_version_scratch LABELS fuzz)
