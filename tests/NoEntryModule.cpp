// A loadable library that is no decoder module: it lacks the entry point.
extern "C" int quillmere_test_no_entry() {
    return 0;
}
