// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/AppModul.h"

int main(int argc, char** argv)
{
    return AppModul::Main(argc, argv);
}
