/* Preloaded into sanitized test runs only: keeps every shared library that a
 * process loads until it ends. Mesa unloads its GL driver when SDL shuts the
 * display down, and LeakSanitizer could then no longer name the library that
 * made the driver's never-freed allocations, so the suppressions by library
 * name would not match. */
int dlclose(void *handle) {
    (void)handle;
    return 0;
}
