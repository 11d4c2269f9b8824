# The application: its last-resort error handler, the command steps and the browser, with
# the player's own objects over the in-memory sound card.
corvane_test(application_test
  SOURCES app/application_test.cpp
  LIBS corvane_app
  DOUBLES LABELS display)
corvane_test(app_commands_test
  SOURCES app/commands_test.cpp app/browser_test.cpp
  LIBS corvane_app corvane_flac_fixture corvane_test_input
  DOUBLES LABELS display)
