// A stock Source RCON client from the npm registry against `kestrovar serve --realtime`:
// authentication, both commands with their exact replies, a wrong password, the game clock
// following the wall clock, and the end of the session by a signal (or `quit`).
//
// node stock_client_test.js --program KESTROVAR [--emulator WRAPPER] --server-dir DIR
//                           [--end sigint|quit]
// The client package is found through NODE_PATH (the build tree's node_modules).
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');
const RCON = require('rcon-srcds').default;

const STRIDER = '/Game/Creatures/Strider/Strider_Character.Strider_Character_C';
const STRIDER_KEY = "Blueprint'/Game/Creatures/Strider/Strider_Character.Strider_Character'";
const PASSWORD = 'kv-test-pw';
const TIME_LIMIT_MS = 60000;

function parseArguments() {
  const options = { emulator: '', end: 'sigint' };
  const argv = process.argv.slice(2);
  for (let i = 0; i + 1 < argv.length; i += 2) {
    options[argv[i].replace(/^--/, '').replace(/-(.)/g, (_, c) => c.toUpperCase())] = argv[i + 1];
  }
  if (!options.program || !options.serverDir) {
    throw new Error('usage: stock_client_test.js --program FILE --server-dir DIR [--emulator FILE] [--end sigint|quit]');
  }
  return options;
}

function check(condition, what) {
  if (!condition) throw new Error('check failed: ' + what);
  console.log('ok: ' + what);
}

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

// Lines of a stream, with a way to wait for the first one that matches.
class Lines {
  constructor(stream, name) {
    this.lines = [];
    this.waiters = [];
    let partial = '';
    stream.setEncoding('utf8');
    stream.on('data', (chunk) => {
      partial += chunk;
      const parts = partial.split(/\r?\n/);
      partial = parts.pop();
      for (const line of parts) {
        console.log(`[${name}] ${line}`);
        this.lines.push(line);
        this.waiters = this.waiters.filter((waiter) => !waiter(line));
      }
    });
  }

  // The first line from index `from` on that matches.
  waitFor(pattern, ms, from = 0) {
    const found = this.lines.slice(from).find((line) => pattern.test(line));
    if (found) return Promise.resolve(found);
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error(`no line matching ${pattern} in ${ms} ms`)), ms);
      this.waiters.push((line) => {
        if (!pattern.test(line)) return false;
        clearTimeout(timer);
        resolve(line);
        return true;
      });
    });
  }
}

async function main() {
  const options = parseArguments();
  const pluginDir = path.join(options.serverDir, 'ArkApi', 'Plugins', 'Kestrovar');
  fs.mkdirSync(pluginDir, { recursive: true });
  fs.writeFileSync(path.join(pluginDir, 'config.json'),
                   JSON.stringify({ Max_Dino_Counts: { [STRIDER_KEY]: 3 } }));

  const serveArguments = ['serve', '--server-dir', options.serverDir, '--realtime',
                          '--rcon-port', '0', '--rcon-password', PASSWORD, '--no-log-stdout'];
  const command = options.emulator ? options.emulator : options.program;
  const commandArguments = options.emulator ? [options.program, ...serveArguments] : serveArguments;
  const server = spawn(command, commandArguments, { stdio: ['pipe', 'pipe', 'pipe'] });
  const exited = new Promise((resolve) => server.on('exit', (code, signal) => resolve({ code, signal })));
  const stdout = new Lines(server.stdout, 'stdout');
  const stderr = new Lines(server.stderr, 'stderr');
  const type = (line) => server.stdin.write(line + '\n');

  try {
    const listening = await stderr.waitFor(/^rcon: listening on 127\.0\.0\.1:\d+$/, 30000);
    const port = Number(listening.split(':').pop());

    // Five spawns against a limit of three: three counted, two removed five seconds of game time
    // later.
    type(`sim.spawn ${STRIDER} 5 20`);
    await stdout.waitFor(/^spawned 1 2 3 4 5$/, 10000);

    const client = new RCON({ host: '127.0.0.1', port, timeout: 10000 });
    check(await client.authenticate(PASSWORD) === true, 'the stock client authenticates');
    check(await client.execute('kvar.dumpdinos') === `${STRIDER_KEY}. Num: 3\n`,
          'kvar.dumpdinos over RCON gives the exact dump');
    check(await client.execute('kvar.reload') === 'Kestrovar: Reloaded config',
          'kvar.reload over RCON gives the exact reply');

    const intruder = new RCON({ host: '127.0.0.1', port, timeout: 10000 });
    let refused = '';
    await intruder.authenticate('not the password').catch((error) => { refused = error.message; });
    check(refused === 'Unable to authenticate', 'a wrong password is refused');
    await stderr.waitFor(/ closed: wrong password$/, 10000);

    // The game clock follows the wall clock: the two extra spawns go without a sim.advance.
    let census = '';
    for (let attempt = 0; attempt < 40 && census !== `census ${STRIDER_KEY} 3`; ++attempt) {
      await sleep(500);
      const from = stdout.lines.length;
      type('sim.census');
      census = await stdout.waitFor(/^census /, 10000, from);
    }
    check(census === `census ${STRIDER_KEY} 3`, 'the removals happened on the wall clock');
    check(await client.execute('kvar.dumpdinos') === `${STRIDER_KEY}. Num: 3\n`,
          'the dump after the removals still counts three');
    await client.disconnect();

    if (options.end === 'quit') {
      type('quit');
    } else {
      server.kill('SIGINT');
    }
    const end = await Promise.race([exited, sleep(30000).then(() => null)]);
    check(end !== null, 'the session ends');
    check(end.code === 0, `the exit code is 0 (got ${end.code}, signal ${end.signal})`);
    check(!stderr.lines.some((line) => /FAULT/.test(line)), 'the stand-in recorded no fault');
    if (options.end !== 'quit') {
      check(stderr.lines.some((line) => /SIGINT, ending the session/.test(line)), 'SIGINT is reported');
    }
    console.log('stock client test passed');
  } finally {
    if (server.exitCode === null) server.kill('SIGKILL');
  }
}

const limit = setTimeout(() => {
  console.error(`stock client test: no result within ${TIME_LIMIT_MS} ms`);
  process.exit(1);
}, TIME_LIMIT_MS);
// Exits at once: timers still pending (the race with the session's end) would hold node up.
main().then(() => process.exit(0), (error) => {
  console.error('stock client test FAILED: ' + error.message);
  process.exit(1);
});
