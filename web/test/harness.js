// What the web tests share: q8sim on a pseudo-terminal, the pseudo-terminal
// as a port the page's line takes, and a runner for a table of cases that
// ends with "N passed, N failed".
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const path = require('path');
const readline = require('readline');
const tty = require('tty');

const root = path.resolve(__dirname, '../..');
const site = path.resolve(process.env.Q8_WEB_SITE || path.join(root, 'build-web/site'));
const simulator = process.env.Q8_SIM || path.join(root, 'build/sim/q8sim');

// The simulators still running go when the run ends, also when it ends early.
const running = new Set();
process.on('exit', () => running.forEach((proc) => proc.kill()));

// q8sim with `args`; resolves once it has printed its pseudo-terminal.
function startSim(args) {
    const proc = childProcess.spawn(simulator, args, { stdio: ['ignore', 'pipe', 'inherit'] });
    running.add(proc);
    proc.once('exit', () => running.delete(proc));
    return new Promise((resolve, reject) => {
        const lines = readline.createInterface({ input: proc.stdout });
        lines.once('line', (pty) => resolve({
            pty,
            stop() {
                return new Promise((done) => {
                    if (proc.exitCode !== null) {
                        done();
                        return;
                    }
                    proc.once('exit', () => done());
                    proc.kill('SIGTERM');
                });
            },
        }));
        proc.once('exit', (code) => reject(new Error(`q8sim ended (${code}) before its pty`)));
    });
}

// The pseudo-terminal, raw (q8sim sets it so): what comes in as a stream,
// and a write.
function openPty(pty) {
    const fd = fs.openSync(pty, fs.constants.O_RDWR | fs.constants.O_NOCTTY);
    const input = new tty.ReadStream(fd);  // closes the descriptor when destroyed
    return { input, write: (bytes) => fs.writeSync(fd, bytes), close: () => input.destroy() };
}

// Runs `cases` ({name, run}) one after another; `run(c)` throws on a fault.
async function runTable(title, cases, filter) {
    let passed = 0;
    let failed = 0;
    for (const c of cases) {
        if (filter && !c.name.includes(filter)) {
            continue;
        }
        const started = Date.now();
        try {
            await c.run(c);
            passed += 1;
            console.log(`ok   ${title}: ${c.name} (${Date.now() - started} ms)`);
        } catch (error) {
            failed += 1;
            console.log(`FAIL ${title}: ${c.name}: ${error.stack || error}`);
        }
    }
    console.log(`${passed} passed, ${failed} failed`);
    return failed === 0;
}

function check(condition, what) {
    if (!condition) {
        throw new Error(what);
    }
}

function checkEqual(actual, expected, what) {
    const a = JSON.stringify(actual);
    const e = JSON.stringify(expected);
    check(a === e, `${what}: ${a}, expected ${e}`);
}

module.exports = { root, site, startSim, openPty, runTable, check, checkEqual };
