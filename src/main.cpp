// Starts the application.
#include "app/startup.h"

int main(int argc, char* argv[])
{
    return pm::RunApplication(argc, argv);
}
