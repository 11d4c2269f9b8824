# The music library: nodes and paths, the scan on real folders, tree order and shuffle. The
# scan suites start threads.
corvane_test(library_test
  SOURCES library/file_test.cpp
  LIBS corvane_library
  DOUBLES LABELS library)
# Links, FIFOs, folders locked by permission and trees deeper than one path can name stay
# Linux-only: Windows has no FIFOs, its links need a privilege tests lack, its folders lock
# through access lists, and without the \\?\ prefix its paths end at 260 characters.
set(scan_sources library/scan_test.cpp library/order_test.cpp)
if(NOT WIN32)
  list(APPEND scan_sources library/scan_linux_test.cpp)
endif()
corvane_test(library_scan_test
  SOURCES ${scan_sources}
  LIBS corvane_library
  DOUBLES LABELS threads)
corvane_test(library_scan_failure_test
  SOURCES library/scan_failure_test.cpp
  LIBS corvane_library
  DOUBLES LABELS threads)
