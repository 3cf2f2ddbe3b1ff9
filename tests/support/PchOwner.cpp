// Holds the precompiled header a folder's tests share (see tests/CMakeLists.txt).
int main()
{
    return 0;
}
