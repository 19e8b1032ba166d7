if(TARGET kestrion_fake_openai)
    kestrion_add_benchmark(bench_turn_control SOURCES turn_control.cpp
        LIBS kestrion_conversation kestrion_fake_openai kestrion_test_files Qt6::Test CORE_APPLICATION)
    target_include_directories(bench_turn_control PRIVATE ${PROJECT_SOURCE_DIR}/tests)
endif()
