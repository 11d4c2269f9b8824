# The music library: nodes and paths, the scan on real folders, tree order and shuffle. The
# scan suites start threads.
corvane_test(library_test
  SOURCES library/file_test.cpp
  LIBS corvane_library
  DOUBLES LABELS library)
# Links, FIFOs, folders locked by permission and paths beyond one call's reach (built with
# openat) are Linux's: Windows has no FIFOs, its links need privileges a test lacks, and its
# listing stops at 260 characters of path.
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
