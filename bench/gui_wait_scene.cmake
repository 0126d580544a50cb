# Not a benchmark: drives the main window into a wait for bench/wait_cost.sh.
if(TARGET marlow_gui)
  add_executable(gui_wait_scene ${CMAKE_CURRENT_LIST_DIR}/gui_wait_scene.cpp)
  target_link_libraries(gui_wait_scene PRIVATE marlow_gui)
endif()
