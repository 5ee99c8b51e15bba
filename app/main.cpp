#include "app/Entry.h"

int main(int argc, char** argv)
{
    return ondrel::runEntry(argc, argv);
}
