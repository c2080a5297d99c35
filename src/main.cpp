#include "player/AppModul.h"

int main(int argc, char** argv)
{
    return AppModul::Main(argc, argv);
}
