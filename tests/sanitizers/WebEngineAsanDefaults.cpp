// AddressSanitizer defaults for the programs that load the web engine, compiled
// into them in sanitizer builds only (KESTRION_SANITIZE).
//
// Chromium inside QtWebEngine frees some of its own objects with a sized delete
// whose size is not the allocation's (its build never checks this), so closing
// any page reports new-delete-type-mismatch from inside libQt6WebEngineCore.
// AddressSanitizer cannot suppress that report by library, so the check is off
// in these programs only; every other program keeps it, and in our code its
// usual cause (deleting through a base without a virtual destructor) is a
// compiler warning, which the build treats as an error. ASAN_OPTIONS still wins.

extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
