# Installs the pinned RCON client into the build tree (`npm ci`, only when the lock file changed)
# and runs client/stock_client_test.js against the kestrovar program. Run by ctest.
#   -DNODE= -DNPM=  the tools (empty or NOTFOUND: the test is skipped)
#   -DCLIENT_SOURCE= client/ in the source tree   -DCLIENT_DIR= where to install it
#   -DPROGRAM= -DEMULATOR= -DEND_WITH= -DWORK_DIR=

if(NOT NODE OR NOT NPM)
  message("rcon_stock_client: skipped: node and npm are needed to run the stock RCON client "
          "(install Node.js to run this test)")
  return()
endif()

file(MAKE_DIRECTORY ${CLIENT_DIR})
set(installed_lock ${CLIENT_DIR}/node_modules/.kestrovar-lock.json)
file(SHA256 ${CLIENT_SOURCE}/package-lock.json wanted)
set(have "")
if(EXISTS ${installed_lock})
  file(SHA256 ${installed_lock} have)
endif()
if(NOT have STREQUAL wanted)
  file(COPY ${CLIENT_SOURCE}/package.json ${CLIENT_SOURCE}/package-lock.json
       DESTINATION ${CLIENT_DIR})
  execute_process(COMMAND ${NPM} ci --no-audit --no-fund --ignore-scripts
                  WORKING_DIRECTORY ${CLIENT_DIR}
                  RESULT_VARIABLE npm_result
                  TIMEOUT 180)
  if(NOT npm_result EQUAL 0)
    message(FATAL_ERROR "rcon_stock_client: npm ci failed (${npm_result}) in ${CLIENT_DIR}")
  endif()
  file(COPY_FILE ${CLIENT_SOURCE}/package-lock.json ${installed_lock})
endif()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(emulator_arguments "")
if(EMULATOR)
  set(emulator_arguments --emulator ${EMULATOR})
endif()
set(ENV{NODE_PATH} ${CLIENT_DIR}/node_modules)
execute_process(
  COMMAND ${NODE} ${CLIENT_SOURCE}/stock_client_test.js --program ${PROGRAM} ${emulator_arguments}
          --server-dir ${WORK_DIR}/server --end ${END_WITH}
  RESULT_VARIABLE result
  TIMEOUT 200)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "rcon_stock_client: the stock client test failed (${result})")
endif()
