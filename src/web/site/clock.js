// The web app's clock: timers run here, in a dedicated worker, because a hidden tab holds back
// the page's own timers (to a second or more) but not a worker's. The page asks for a timer and
// is told when it has run out: { set: id, ms, repeat } / { clear: id } -> { fired: id }.
const timers = new Map();

onmessage = (event) => {
  const { set, clear, ms, repeat } = event.data;
  if (clear !== undefined) {
    clearTimeout(timers.get(clear));
    clearInterval(timers.get(clear));
    timers.delete(clear);
    return;
  }
  clearTimeout(timers.get(set));
  clearInterval(timers.get(set));
  const fire = () => postMessage({ fired: set });
  timers.set(set, repeat ? setInterval(fire, ms) : setTimeout(() => {
    timers.delete(set);
    fire();
  }, ms));
};
