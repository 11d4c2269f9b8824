# The music library: nodes and paths, the scan on real folders, tree order and shuffle. The
# scan suites start threads.
corvane_test(library_test
  SOURCES library/file_test.cpp
  LIBS corvane_library
  DOUBLES LABELS library)
corvane_test(library_scan_test
  SOURCES library/scan_test.cpp library/order_test.cpp
  LIBS corvane_library
  DOUBLES LABELS threads)
corvane_test(library_scan_failure_test
  SOURCES library/scan_failure_test.cpp
  LIBS corvane_library
  DOUBLES LABELS threads)
