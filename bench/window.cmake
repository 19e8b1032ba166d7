kestrion_add_benchmark(bench_window SOURCES window.cpp LIBS kestrion_app kestrion_preview)
if(KESTRION_SANITIZE)
    target_sources(bench_window PRIVATE ${PROJECT_SOURCE_DIR}/tests/sanitizers/WebEngineAsanDefaults.cpp)
endif()
