# The music library: the platform's folder listing and logical order, nodes and paths, the
# scan on real folders, tree order and shuffle. The scan suites start threads.
corvane_test(library_test
  SOURCES library/file_test.cpp library/listing_test.cpp
  LIBS corvane_platform_files
  LABELS library)
corvane_test(library_scan_test
  SOURCES library/scan_test.cpp library/order_test.cpp
  LIBS corvane_platform_files corvane_platform_display corvane_test_message_box
  LABELS threads)
corvane_test(library_scan_failure_test
  SOURCES library/scan_failure_test.cpp
  LIBS corvane_platform_files corvane_platform_display corvane_test_message_box
  LABELS threads)
