#include "app/vantrel_app.h"

int main(int argc, char** argv)
{
    return CVantrelApp::RunProgram(argc, argv);
}
