// A module whose only content is its resources (test_module.res).
extern "C" __attribute__((visibility("default"))) int windowTestModule()
{
    return 1;
}
