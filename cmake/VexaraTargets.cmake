# One static library per source folder; every .cpp in the folder belongs to it,
# so adding a class never means editing a CMake file.
function(vx_library name folder)
  # A library folder may hold leaf subfolders (model/math...), built into the same library.
  file(GLOB _srcs CONFIGURE_DEPENDS ${folder}/*.cpp ${folder}/*/*.cpp)
  file(GLOB _hdrs CONFIGURE_DEPENDS ${folder}/*.h ${folder}/*/*.h)
  if(NOT _srcs)
    # A folder whose classes are not written yet still gives a (empty) library.
    set(_srcs ${CMAKE_BINARY_DIR}/vx_empty.cpp)
    file(WRITE ${_srcs} "// no sources yet\n")
  endif()
  add_library(${name} STATIC ${_srcs} ${_hdrs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# One test program per test folder, discovered test by test through CTest.
function(vx_test_folder name folder)
  # Tests of a source subfolder sit in the same subfolder below the test folder.
  file(GLOB _srcs CONFIGURE_DEPENDS ${folder}/*.cpp ${folder}/*/*Test.cpp)
  if(NOT _srcs)
    return()
  endif()
  # Test programs start as the program does; the GUI ones through its application object.
  if(NOT "vx_guitestsupport" IN_LIST ARGN)
    list(APPEND _srcs ${CMAKE_SOURCE_DIR}/tests/ProgramStart.cpp)
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_compile_definitions(${name} PRIVATE VX_SOURCE_ROOT="${VX_SOURCE_ROOT}"
                                             VX_BINARY_ROOT="${CMAKE_BINARY_DIR}")
  # The tests run BLAS as the program does, started at load with the environment's thread
  # count. Under AddressSanitizer OpenBLAS that started a thread pool at load faults in its
  # kernels now and then (on buffers of its own), so the sanitizer runs load it without one.
  # (One variable a property: the discovered tests' properties lose a list's separators.)
  set(_sanitizerBlas)
  if(VX_SANITIZE)
    set(_sanitizerBlas ENVIRONMENT_MODIFICATION "OPENBLAS_NUM_THREADS=set:1")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${_sanitizerBlas})
endfunction()
