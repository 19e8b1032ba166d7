kestrion_add_benchmark(bench_preview_load SOURCES preview_load.cpp LIBS kestrion_app kestrion_preview)
if(KESTRION_SANITIZE)
    target_sources(bench_preview_load PRIVATE ${PROJECT_SOURCE_DIR}/tests/sanitizers/WebEngineAsanDefaults.cpp)
endif()
