// A library in the trend module's place that is not the trend module: one from another build.
extern "C" int kxSomethingElse()
{
    return 0;
}
