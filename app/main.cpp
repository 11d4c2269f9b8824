// Corvane's entry point. It takes no arguments: the music folder is the working directory.
#include "app/application.h"

int main()
{
    return Corvane::run_with_error_box(
        []
        {
            Corvane::Application application;
            application.run();
        });
}
